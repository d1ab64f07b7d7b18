#pragma once

#include "cfgctl/ExitStatus.h"
#include "cfgctl/Output.h"
#include "cfgmsg/CfgAdminTypes.h"

namespace cfgctl {

// cfgctl watch: subscribes on a connection of its own (LxCfgWatch) and
// writes one line per committed change, each pushed out at once:
//   SET SECTION KEY = VALUE
//   SET SECTION KEY deleted
//   missed N changes          (the server dropped them: this watcher fell behind)
// names and values as Output::Word writes them. Runs until SIGINT or
// SIGTERM (then kDone) or until the server goes away (kNoServer). Installs
// handlers for both signals; the main thread only.
class WatchCommand {
 public:
  static ExitStatus Run(const qet_cfgserver::ConfigScope& scope, Output& output);
};

}  // namespace cfgctl
