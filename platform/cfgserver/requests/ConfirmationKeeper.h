#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "common/LxStatus.h"
#include "recovery/StoreKeeper.h"
#include "requests/ChangeFeed.h"

namespace qet_cfgserver {

// Rolls back the changes that were not confirmed in time. What awaits
// confirmation lives in the store (RevisionLog::Pending), committed with
// the change; the keeper only keeps the timer armed for its deadline, and
// at the deadline rolls it back (ConfigLayers::CancelPending: the change
// and every change after it), as a revision by the server itself, logged
// at WARNING and told to watchers. (One left awaiting by a crash, a power
// cut or a stop is rolled back by StoreKeeper::Open, before the defaults
// are imported and anyone is served.)
//
// arm(deadline) is called with the deadline to wake Expire() at (seconds
// since 1970-01-01 UTC), or none to disarm. Does not own the store keeper
// or the feed. Reactor thread only.
class ConfirmationKeeper {
 public:
  using Arm = std::function<void(std::optional<std::int64_t> deadline)>;

  ConfirmationKeeper(StoreKeeper* keeper, ChangeFeed* feed, Arm arm)
      : keeper_(keeper), feed_(feed), arm_(std::move(arm)) {}

  ConfirmationKeeper(const ConfirmationKeeper&) = delete;
  ConfirmationKeeper& operator=(const ConfirmationKeeper&) = delete;

  // After anything that may have changed what awaits confirmation (a
  // confirmed change, a confirm, a cancel): arms for its deadline, or
  // disarms.
  void Refresh();

  // The deadline came: rolls back what awaits confirmation if its deadline
  // has passed (a later confirmed change moves it), else arms again. A
  // rollback that fails (a full disk, a store that refuses writes) is tried
  // again kRetrySeconds later, not at once: the deadline has passed, and a
  // loop of tries would only fill the log.
  void Expire();

  static constexpr std::int64_t kRetrySeconds = 10;

 private:
  // Rolls back what awaits confirmation, noted with why.
  LxStatus RollBack(const char* why);

  StoreKeeper* keeper_;
  ChangeFeed* feed_;
  Arm arm_;
};

}  // namespace qet_cfgserver
