#include "requests/ImportStaging.h"

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

}  // namespace qet_cfgserver
