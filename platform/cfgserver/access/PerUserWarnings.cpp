#include "access/PerUserWarnings.h"

#include <algorithm>

namespace qet_cfgserver {

constexpr std::chrono::seconds PerUserWarnings::kQuietPeriod;
constexpr std::size_t PerUserWarnings::kMaxUsers;

bool PerUserWarnings::StartsBurst(uid_t uid, Clock::time_point now) {
  const auto found = lastRefusal_.find(uid);
  if (found != lastRefusal_.end()) {
    const bool quiet = now - found->second >= kQuietPeriod;
    found->second = now;
    return quiet;
  }
  MakeRoom(now);
  lastRefusal_.emplace(uid, now);
  return true;
}

void PerUserWarnings::MakeRoom(Clock::time_point now) {
  if (lastRefusal_.size() < kMaxUsers) return;
  for (auto entry = lastRefusal_.begin(); entry != lastRefusal_.end();)
    entry = now - entry->second >= kQuietPeriod ? lastRefusal_.erase(entry) : std::next(entry);
  if (lastRefusal_.size() < kMaxUsers) return;
  const auto quietest = std::min_element(lastRefusal_.begin(), lastRefusal_.end(),
                                         [](const auto& a, const auto& b) { return a.second < b.second; });
  lastRefusal_.erase(quietest);
}

}  // namespace qet_cfgserver
