#include "recovery/RunRecoveringOnce.h"

#include "log/ServerLog.h"

namespace qet_cfgserver {

namespace {

LxStatus RunOnStore(StoreKeeper* keeper, const std::function<LxStatus(ConfigStore* store)>& operation) {
  ConfigStore* store = keeper->store();
  if (store == nullptr) return LxStatus::Unavailable("no database: the last recovery failed");
  return operation(store);
}

}  // namespace

LxStatus RunRecoveringOnce(StoreKeeper* keeper, const std::string& what,
                           const std::function<LxStatus(ConfigStore* store)>& operation) {
  const LxStatus status = RunOnStore(keeper, operation);
  if (status.ok() || !keeper->CallsForRecovery(status)) return status;
  __dlog_printf(kDlogError, kServerLogSource, "%s %s: %s", what.c_str(),
                keeper->servingFromMemory() ? "needs the database rebuilt" : "met a damaged database",
                status.ToString().c_str());
  if (!keeper->Recover(status).ok()) return status;
  return RunOnStore(keeper, operation);
}

}  // namespace qet_cfgserver
