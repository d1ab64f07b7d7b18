#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cfgctl/ExitStatus.h"
#include "cfgctl/Output.h"
#include "cfgmsg/LxiConfigure.h"

namespace cfgctl {

// cfgctl export: sets as INI text (IniWriter); ImportCommand reads them
// back. One thread.
class BackupCommands {
 public:
  // Exports the named sets (every set when none is named) to standard
  // output, one "; set NAME" block each, or, with a directory, to one file
  // per set named by SetFileName (the directory is made when missing; each
  // file is written whole under a temporary name, then renamed). A named
  // set that does not exist gives kNotFound after the others are written.
  // With --json (never with a directory), one document of every set found,
  // written only when no request failed.
  static ExitStatus Export(qet_cfgserver::LxiConfigure& client, const std::vector<std::string>& sets,
                           const std::string& directory, Output& output);
};

}  // namespace cfgctl
