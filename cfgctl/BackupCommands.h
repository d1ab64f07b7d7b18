#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cfgctl/ExitStatus.h"
#include "cfgctl/Output.h"
#include "cfgmsg/LxiConfigure.h"

namespace cfgctl {

// cfgctl export and import: sets as INI text (IniWriter, IniReader) and
// back. One thread.
class BackupCommands {
 public:
  // Exports the named sets (every set when none is named) to standard
  // output, one "; set NAME" block each, or, with a directory, to one file
  // per set named by SetFileName (the directory is made when missing; each
  // file is written whole under a temporary name, then renamed). A named
  // set that does not exist gives kNotFound after the others are written.
  static ExitStatus Export(qet_cfgserver::LxiConfigure& client, const std::vector<std::string>& sets,
                           const std::string& directory, Output& output);

  // Reads every file first (nothing is sent when one is unreadable or
  // invalid: kFileError), printing the reader's warnings, then imports each
  // set of each file in one request. The sets are IniReader's: a plain file
  // holds the set it is named after, an export the sets it names.
  // confirmSeconds: each set's import is to be confirmed within them (0:
  // plain imports).
  static ExitStatus Import(qet_cfgserver::LxiConfigure& client, const std::vector<std::string>& files, bool replace,
                           std::uint32_t confirmSeconds);
};

}  // namespace cfgctl
