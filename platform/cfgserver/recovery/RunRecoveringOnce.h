#pragma once

#include "common/LxStatus.h"
#include "recovery/StoreKeeper.h"

namespace qet_cfgserver {

// Runs operation on the keeper's store and returns its outcome. When the
// store turns out damaged (Corruption), there is none because an earlier
// recovery failed, or it is the read-only one in memory and a rebuild is
// due (StoreKeeper::CallsForRecovery), the keeper recovers it and
// operation runs once more, on the rebuilt store; that second outcome is
// final. When the recovery fails, the first failure is returned. what
// names the work in the ERROR line ("get-value", "12 writes").
//
// operation, any callable taking a ConfigStore* and returning LxStatus, may
// run twice, so it must start afresh each time: whatever it fills is filled
// anew. A template rather than a std::function: every request runs through
// here, and a wrapped callable costs an allocation and indirect calls each
// time.
//
// Reactor thread only, as the keeper.
template <typename Operation>
LxStatus RunRecoveringOnce(StoreKeeper* keeper, const char* what, Operation&& operation);

// Whether a first failure calls for another run: logs it at ERROR and has
// the keeper recover when the failure calls for recovery; true when that
// recovery succeeded. RunRecoveringOnce's slow path.
bool RecoveredAfter(StoreKeeper* keeper, const char* what, const LxStatus& failure);

// Why there is no store to run on: the last recovery failed.
LxStatus NoStore();

template <typename Operation>
LxStatus RunRecoveringOnce(StoreKeeper* keeper, const char* what, Operation&& operation) {
  ConfigStore* store = keeper->store();
  const LxStatus status = store != nullptr ? operation(store) : NoStore();
  if (status.ok() || !RecoveredAfter(keeper, what, status)) return status;
  store = keeper->store();
  return store != nullptr ? operation(store) : NoStore();
}

}  // namespace qet_cfgserver
