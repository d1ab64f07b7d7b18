#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <map>

namespace qet_cfgserver {

// Which refusals reach the log: a user refused again and again (a client
// retrying, a flood) gets one WARNING when the burst starts, not one line
// per refusal. A user's burst ends once kQuietPeriod passed without a
// refusal of that user. Remembers at most kMaxUsers users, forgetting the
// longest quiet first, so what it holds is bounded whoever connects.
// Reactor thread only.
class PerUserWarnings {
 public:
  using Clock = std::chrono::steady_clock;

  static constexpr std::chrono::seconds kQuietPeriod{3};
  static constexpr std::size_t kMaxUsers = 256;

  // Notes a refusal of uid at now; true when it starts a burst (log it).
  bool StartsBurst(uid_t uid, Clock::time_point now);

 private:
  void MakeRoom(Clock::time_point now);

  std::map<uid_t, Clock::time_point> lastRefusal_;
};

}  // namespace qet_cfgserver
