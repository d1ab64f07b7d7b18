#pragma once

#include <functional>
#include <string>

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
// operation may run twice, so it must start afresh each time: whatever it
// fills is filled anew.
//
// Reactor thread only, as the keeper.
LxStatus RunRecoveringOnce(StoreKeeper* keeper, const std::string& what,
                           const std::function<LxStatus(ConfigStore* store)>& operation);

}  // namespace qet_cfgserver
