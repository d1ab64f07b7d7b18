#include "store/ValueCache.h"

namespace qet_cfgserver {

namespace {

constexpr std::size_t kLengthBytes = 4;

void AppendWithLength(const std::string& name, std::string* out) {
  const std::size_t size = name.size();
  const char length[kLengthBytes] = {static_cast<char>((size >> 24) & 0xff), static_cast<char>((size >> 16) & 0xff),
                                     static_cast<char>((size >> 8) & 0xff), static_cast<char>(size & 0xff)};
  out->append(length, kLengthBytes);
  out->append(name);
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
  lookupKey_.clear();
  AppendWithLength(set, &lookupKey_);
  AppendWithLength(section, &lookupKey_);
  AppendWithLength(key, &lookupKey_);
}

void ValueCache::Clear() {
  values_.clear();
  bytes_ = 0;
}

}  // namespace qet_cfgserver
