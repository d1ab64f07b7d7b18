#include "recovery/SnapshotTimer.h"

namespace qet_cfgserver {

int SnapshotTimer::handle_timeout(const ACE_Time_Value&, const void*) {
  keeper_->SnapshotIfChanged();
  return 0;
}

}  // namespace qet_cfgserver
