#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "LxStatus.h"

namespace qet_cfgserver {

// What the command line asks of cfgserver:
//
//   cfgserver [--runtime-dir DIR] [--database FILE] [--import FILE.ini]...
//             [--snapshot-interval SECONDS] [--help]
//
// Options take their value as the next argument or after '=' (--database=x).
// Empty strings mean "not given"; ResolveDefaults() fills them in.
struct ServerOptions {
  std::string runtimeDirectory;
  std::string database;
  std::vector<std::string> imports;  // in the order given
  // At most one snapshot per this many seconds while writes happen; 0: none
  // but at a clean stop.
  std::uint32_t snapshotIntervalSeconds = kDefaultSnapshotIntervalSeconds;
  bool help = false;

  static constexpr std::uint32_t kDefaultSnapshotIntervalSeconds = 600;
  static constexpr std::uint32_t kMaxSnapshotIntervalSeconds = 86400;

  // Parses argv[1..]. Fails (InvalidArgument, with a message for the user)
  // on an unknown option, a missing or empty value, a snapshot interval that
  // is not a whole number of seconds up to the maximum, or a stray argument.
  static LxStatus Parse(const std::vector<std::string>& arguments, ServerOptions* options);

  // Runtime directory: wire::DefaultRuntimeDirectory(). Database: see
  // DefaultDatabasePath().
  void ResolveDefaults();

  // /var/lib/cfgserver/config.db for root; otherwise
  // $XDG_STATE_HOME/cfgserver/config.db, else $HOME/.local/state/cfgserver/
  // config.db (an empty or relative variable counts as unset), else a file
  // in the current directory. Pass null for an unset variable.
  static std::string DefaultDatabasePath(uid_t user, const char* stateHome, const char* home);

  // The text --help prints.
  static std::string Usage();
};

}  // namespace qet_cfgserver
