#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/LxStatus.h"

namespace cfgctl {

// One cfgctl invocation as the command line gives it. Options are taken only
// where a command has them (export --dir DIR, import --replace --dry-run,
// history -n N, --confirm SECONDS on set, delete, import, reset and
// rollback, watch --since REV, --json on get, list, export, changes,
// history, show, diff and watch), before its arguments ("--" ends them), so
// a value such as "-1" in `cfgctl set ... -1` stays a value.
struct CommandLine {
  std::string command;  // "get", "set", ...; "help" for --help
  std::vector<std::string> arguments;
  bool replace = false;       // import --replace
  bool dryRun = false;        // import --dry-run
  std::string directory;      // export --dir DIR
  std::uint32_t count = 0;    // history -n N; 0: every kept revision
  std::uint32_t confirmSeconds = 0;  // --confirm SECONDS on a change; 0: none
  std::string since;                 // watch --since REV as typed; empty: none
  bool json = false;                 // --json: standard output as JSON (not with export --dir)

  // Parses argv[1..]; InvalidArgument (one line, naming the command) when
  // the command is unknown or its arguments do not fit it.
  static LxStatus Parse(int argc, const char* const* argv, CommandLine* line);

  // The text of cfgctl --help.
  static const char* HelpText();
};

}  // namespace cfgctl
