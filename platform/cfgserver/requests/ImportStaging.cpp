#include "requests/ImportStaging.h"

#include <string.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>

namespace qet_cfgserver {

namespace {

// Lengths are packed in this machine's order: they never leave its memory.
constexpr std::size_t kLengthBytes = sizeof(std::uint32_t);
constexpr std::size_t kFieldsPerEntry = 3;

std::size_t PackedBytes(const wire::Record& entry) {
  return kFieldsPerEntry * kLengthBytes + entry.section.size() + entry.key.size() + entry.value.size();
}

void PackLength(std::size_t length, std::vector<char>* packed) {
  const std::uint32_t value = static_cast<std::uint32_t>(length);
  char bytes[kLengthBytes];
  memcpy(bytes, &value, kLengthBytes);
  packed->insert(packed->end(), bytes, bytes + kLengthBytes);
}

void Pack(const wire::Record& entry, std::vector<char>* packed) {
  for (const std::string* field : {&entry.section, &entry.key, &entry.value}) PackLength(field->size(), packed);
  for (const std::string* field : {&entry.section, &entry.key, &entry.value})
    packed->insert(packed->end(), field->begin(), field->end());
}

}  // namespace

void ImportStaging::Begin(const std::string& set, bool replace) {
  Drop();
  active_ = true;
  set_ = set;
  replace_ = replace;
}

LxStatus ImportStaging::Add(const std::vector<wire::Record>& entries) {
  if (!active()) return LxStatus::InvalidArgument("entries without an import under way");
  std::size_t setBytes = setBytes_, packedBytes = packed_.size();
  for (const wire::Record& entry : entries) {
    setBytes += wire::RecordWireBytes(entry);
    packedBytes += PackedBytes(entry);
  }
  if (setBytes > wire::kMaxSetBytes) {
    Drop();
    return LxStatus::InvalidArgument("the set is larger than " + std::to_string(wire::kMaxSetBytes) +
                                     " bytes, the most an import takes");
  }
  if (!Reserve(packedBytes)) {
    Drop();
    return LxStatus::InvalidArgument("no room for the import: other clients hold the server's client memory");
  }
  for (const wire::Record& entry : entries) Pack(entry, &packed_);
  setBytes_ = setBytes;
  return LxStatus::Ok();
}

bool ImportStaging::Reserve(std::size_t bytes) {
  const std::size_t capacity = packed_.capacity();
  if (bytes <= capacity) return true;
  // Doubling keeps appends cheap; packed entries never weigh more than on
  // the wire, so the set's bound caps the growth.
  const std::size_t grown = std::max(bytes, std::min(2 * capacity, wire::kMaxSetBytes));
  if (holder_ != nullptr && !holder_->Charge(grown - capacity)) return false;
  packed_.reserve(grown);
  return true;
}

void ImportStaging::Drop() {
  if (holder_ != nullptr) holder_->Refund(packed_.capacity());
  std::vector<char>().swap(packed_);
  setBytes_ = 0;
  active_ = false;
  set_.clear();
}

std::vector<ConfigEntry> ImportStaging::entries() const {
  std::vector<ConfigEntry> unpacked;
  std::size_t at = 0;
  while (at < packed_.size()) {
    std::uint32_t lengths[kFieldsPerEntry];
    for (std::uint32_t& length : lengths) {
      memcpy(&length, packed_.data() + at, kLengthBytes);
      at += kLengthBytes;
    }
    unpacked.emplace_back();
    std::string* fields[kFieldsPerEntry] = {&unpacked.back().section, &unpacked.back().key, &unpacked.back().value};
    for (std::size_t field = 0; field < kFieldsPerEntry; ++field) {
      fields[field]->assign(packed_.data() + at, lengths[field]);
      at += lengths[field];
    }
  }
  return unpacked;
}

std::vector<wire::Record> ImportStaging::Preview(const std::vector<wire::Record>& current) const {
  using Name = std::pair<std::string, std::string>;  // section, key
  std::map<Name, std::string> staged;  // a later entry of a key wins, as at the commit
  for (ConfigEntry& entry : entries())
    staged[{std::move(entry.section), std::move(entry.key)}] = std::move(entry.value);
  std::map<Name, wire::Record> changes;
  for (const wire::Record& record : current) {
    auto found = staged.find({record.section, record.key});
    if (found == staged.end()) {
      if (replace_)
        changes[{record.section, record.key}] = {wire::RecordKind::kDeleted, set_, record.section, record.key, "",
                                                 record.value};
      continue;
    }
    if (found->second != record.value)
      changes[found->first] = {wire::RecordKind::kChanged, set_, record.section, record.key, found->second,
                               record.value};
    staged.erase(found);
  }
  for (const auto& added : staged)
    changes[added.first] = {wire::RecordKind::kAdded, set_, added.first.first, added.first.second, added.second, ""};
  std::vector<wire::Record> ordered;
  for (auto& change : changes) ordered.push_back(std::move(change.second));
  return ordered;
}

}  // namespace qet_cfgserver
