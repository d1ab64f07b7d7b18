#include "store/ValueCache.h"

#include <algorithm>

namespace qet_cfgserver {

namespace {

constexpr std::size_t kLengthBytes = 4;

// Writes name after its length at out; returns where the next name goes.
char* PutWithLength(const std::string& name, char* out) {
  const std::size_t size = name.size();
  for (std::size_t byte = kLengthBytes; byte-- > 0;) *out++ = static_cast<char>((size >> (8 * byte)) & 0xff);
  return std::copy(name.begin(), name.end(), out);
}

}  // namespace

const std::string* ValueCache::Find(std::uint64_t generation, const std::string& set, const std::string& section,
                                    const std::string& key) {
  Follow(generation);
  BuildLookupKey(set, section, key);
  const auto found = values_.find(lookupKey_);
  return found == values_.end() ? nullptr : &found->second;
}

void ValueCache::Add(std::uint64_t generation, const std::string& set, const std::string& section,
                     const std::string& key, const std::string& value) {
  Follow(generation);
  BuildLookupKey(set, section, key);
  const std::size_t entryBytes = lookupKey_.size() + value.size() + kEntryOverheadBytes;
  if (entryBytes > maxBytes_) return;
  if (bytes_ + entryBytes > maxBytes_) Clear();
  if (values_.emplace(lookupKey_, value).second) bytes_ += entryBytes;
}

void ValueCache::Follow(std::uint64_t generation) {
  if (generation == generation_) return;
  Clear();
  generation_ = generation;
}

void ValueCache::BuildLookupKey(const std::string& set, const std::string& section, const std::string& key) {
  // Sized once and written in place: a lookup is on every point read.
  lookupKey_.resize(3 * kLengthBytes + set.size() + section.size() + key.size());
  char* out = &lookupKey_[0];
  for (const std::string* name : {&set, &section, &key}) out = PutWithLength(*name, out);
}

void ValueCache::Clear() {
  values_.clear();
  bytes_ = 0;
}

}  // namespace qet_cfgserver
