#pragma once

#include "cfgctl/ExitStatus.h"
#include "cfgctl/Output.h"
#include <string>

#include "cfgmsg/CfgAdminTypes.h"
#include "cfgmsg/LxiConfigure.h"

namespace cfgctl {

// cfgctl watch: subscribes on a connection of its own (LxCfgWatch) and
// writes one line per committed change, each pushed out at once:
//   SET SECTION KEY = VALUE
//   SET SECTION KEY deleted
//   missed N changes          (the server dropped them: this watcher fell behind)
// names and values as Output::Word writes them. With --since REV it first
// writes every change after revision REV, from the server's history, then
// the live ones, each line led by its revision, none missing, none twice:
//   REV SET SECTION KEY = VALUE
//   REV SET SECTION KEY deleted
//   missed N revisions        (history no longer held them)
// A REV whose successors the server no longer keeps is kNotFound, with the
// oldest kept named. With --json, one JsonForm::Event object per line
// instead. Runs until SIGINT or SIGTERM (then kDone) or until the
// server goes away (kNoServer). Installs handlers for both signals; the
// main thread only.
class WatchCommand {
 public:
  // since: the revision to resume after; empty for a watch from now on.
  static ExitStatus Run(qet_cfgserver::LxiConfigure& client, const qet_cfgserver::ConfigScope& scope,
                        const std::string& since, Output& output);
};

}  // namespace cfgctl
