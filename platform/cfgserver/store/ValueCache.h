#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace qet_cfgserver {

// Point reads answered from memory: values the store read from its database,
// kept until the database changes. A hit costs a hash of the names instead
// of an SQLite statement (a seek through the key's pages, a record decoded):
// on the device's slow CPU, most of what a point read costs.
//
// Staleness is impossible by construction rather than by care at every
// write path: each call names the database's generation (a count that every
// change, on any path, advances), and a cache meeting a new generation drops
// everything before it answers.
//
// Bounded: at most maxBytes of names and values (each entry also counts
// kEntryOverheadBytes for its bookkeeping); an entry that would pass the
// bound empties the cache first. Only keys that exist are kept, so clients
// asking for names that do not exist cannot fill it.
//
// Not thread-safe: its store's.
class ValueCache {
 public:
  // What one entry costs beyond its bytes: the hash node and two strings.
  static constexpr std::size_t kEntryOverheadBytes = 96;

  explicit ValueCache(std::size_t maxBytes) : maxBytes_(maxBytes) {}

  ValueCache(const ValueCache&) = delete;
  ValueCache& operator=(const ValueCache&) = delete;

  // The value kept for the key at generation, or null.
  const std::string* Find(std::uint64_t generation, const std::string& set, const std::string& section,
                          const std::string& key);

  // Keeps value for the key, read from the database at generation.
  void Add(std::uint64_t generation, const std::string& set, const std::string& section, const std::string& key,
           const std::string& value);

  std::size_t bytes() const { return bytes_; }

 private:
  // Forgets everything kept before generation.
  void Follow(std::uint64_t generation);
  // The key's names, each after its length, into lookupKey_: names may hold
  // any byte, so no separator could tell them apart.
  void BuildLookupKey(const std::string& set, const std::string& section, const std::string& key);
  void Clear();

  const std::size_t maxBytes_;
  std::unordered_map<std::string, std::string> values_;
  std::uint64_t generation_ = 0;
  std::size_t bytes_ = 0;
  std::string lookupKey_;  // reused: a lookup allocates nothing once warm
};

}  // namespace qet_cfgserver
