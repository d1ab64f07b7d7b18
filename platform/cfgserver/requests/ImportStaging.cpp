#include "requests/ImportStaging.h"

#include <map>
#include <utility>

namespace qet_cfgserver {

void ImportStaging::Begin(const std::string& set, bool replace, std::size_t* sharedTotal) {
  Drop();
  set_ = set;
  replace_ = replace;
  sharedTotal_ = sharedTotal;
}

LxStatus ImportStaging::Add(const std::vector<wire::Record>& entries) {
  if (!active()) return LxStatus::InvalidArgument("entries without an import under way");
  std::size_t added = 0;
  for (const wire::Record& entry : entries)
    added += entry.section.size() + entry.key.size() + entry.value.size() + kEntryOverhead;
  if (bytes_ + added > kMaxBytes || *sharedTotal_ + added > kMaxTotalBytes) {
    const bool ownBound = bytes_ + added > kMaxBytes;
    Drop();
    return LxStatus::InvalidArgument(ownBound ? "the import is over its 4 MiB bound"
                                              : "the server stages 16 MiB of imports at most; try again later");
  }
  for (const wire::Record& entry : entries) entries_.push_back(ConfigEntry{entry.section, entry.key, entry.value});
  bytes_ += added;
  *sharedTotal_ += added;
  return LxStatus::Ok();
}

void ImportStaging::Drop() {
  if (sharedTotal_ != nullptr) *sharedTotal_ -= bytes_;
  sharedTotal_ = nullptr;
  bytes_ = 0;
  entries_.clear();
  entries_.shrink_to_fit();
  set_.clear();
}

std::vector<wire::Record> ImportStaging::Preview(const std::vector<wire::Record>& current) const {
  using Name = std::pair<std::string, std::string>;  // section, key
  std::map<Name, std::string> staged;  // a later entry of a key wins, as at the commit
  for (const ConfigEntry& entry : entries_) staged[{entry.section, entry.key}] = entry.value;
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
