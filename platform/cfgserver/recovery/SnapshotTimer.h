#pragma once

#include <ace/Event_Handler.h>

#include "recovery/StoreKeeper.h"

namespace qet_cfgserver {

// The reactor's periodic timer for snapshots: each expiry asks the keeper
// for a snapshot, which it writes only when something changed. Does not own
// the keeper; reactor thread only.
class SnapshotTimer : public ACE_Event_Handler {
 public:
  explicit SnapshotTimer(StoreKeeper* keeper) : keeper_(keeper) {}

  // The keeper logs a failure; the timer keeps running either way.
  int handle_timeout(const ACE_Time_Value& now, const void* argument) override;

 private:
  StoreKeeper* keeper_;
};

}  // namespace qet_cfgserver
