#include "recovery/RunRecoveringOnce.h"

#include "log/ServerLog.h"

namespace qet_cfgserver {

LxStatus NoStore() { return LxStatus::Unavailable("no database: the last recovery failed"); }

bool RecoveredAfter(StoreKeeper* keeper, const char* what, const LxStatus& failure) {
  if (!keeper->CallsForRecovery(failure)) return false;
  __dlog_printf(kDlogError, kServerLogSource, "%s %s: %s", what,
                keeper->servingFromMemory() ? "needs the database rebuilt" : "met a damaged database",
                failure.ToString().c_str());
  return keeper->Recover(failure).ok();
}

}  // namespace qet_cfgserver
