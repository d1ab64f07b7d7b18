#pragma once

#include "requests/BudgetHolder.h"

namespace qet_cfgserver {

// The connection a ClientSession belongs to, as the session sees it: the
// holder its queue and staging are charged to, told when a notification is
// queued, and asked for a watcher's place before subscribing.
// Reactor thread only.
class SessionOwner : public BudgetHolder {
 public:
  using BudgetHolder::BudgetHolder;

  // A notification was queued: start sending.
  virtual void OnNotification() = 0;

  // The connection becomes a watcher, counted against the watchers' limit;
  // false when that limit is reached.
  virtual bool TakeWatcherSlot() = 0;

 protected:
  ~SessionOwner() override = default;
};

}  // namespace qet_cfgserver
