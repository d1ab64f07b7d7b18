#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cfgctl/ExitStatus.h"
#include "cfgctl/Output.h"
#include "cfgmsg/LxiConfigure.h"

namespace cfgctl {

// cfgctl import [--replace] [--dry-run] FILE.ini...: one thread.
//
// Reads every file first (nothing is sent when one is unreadable or
// invalid: kFileError), printing the reader's warnings. The sets are
// IniReader's: a plain file holds the set it is named after, an export the
// sets it names. A set larger than one import takes (kRejected), or one
// this user may not write (kAccessDenied), stops it before anything is
// written. Then every set is previewed (PreviewCfgImport), which has the
// server check it against its schema: each entry a schema refuses is
// reported as "FILE: line N: [SECTION] KEY: reason" (an export's entries
// without the line), and then nothing at all is written (kRejected). Only
// when every set passes is each imported, in one request per set. A
// rejection without a reason is the server's lack of room, said so.
// --dry-run stops after the previews and prints, per set, one line per key
// the import would change: "add SET SECTION KEY = VALUE", "change ... =
// VALUE was OLD", "delete ... was OLD".
class ImportCommand {
 public:
  struct Options {
    bool replace = false;
    bool dryRun = false;
    std::uint32_t confirmSeconds = 0;  // each set's import to be confirmed within them (0: plain)
  };

  static ExitStatus Run(qet_cfgserver::LxiConfigure& client, const std::vector<std::string>& files,
                        const Options& options, Output& output);
};

}  // namespace cfgctl
