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
  // A null store: an earlier recovery failed; this run tries again.
  if (status.code() != LxStatus::Code::kCorruption && keeper->store() != nullptr) return status;
  __dlog_printf(kDlogError, kServerLogSource, "%s met a damaged database: %s", what.c_str(),
                status.ToString().c_str());
  if (!keeper->Recover(status).ok()) return status;
  return RunOnStore(keeper, operation);
}

}  // namespace qet_cfgserver
