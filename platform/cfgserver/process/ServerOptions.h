#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/LxStatus.h"

namespace qet_cfgserver {

// What the command line asks of cfgserver:
//
//   cfgserver [--runtime-dir DIR] [--database FILE] [--import FILE.ini]...
//             [--schema FILE.schema]... [--access FILE] [--max-clients N]
//             [--max-clients-per-user N] [--max-watchers N]
//             [--max-client-memory MIB] [--import-timeout SECONDS]
//             [--snapshot-interval SECONDS] [--history N] [--help]
//
// Options take their value as the next argument or after '=' (--database=x).
// Empty strings mean "not given"; ResolveDefaults() fills them in.
struct ServerOptions {
  static constexpr std::uint32_t kDefaultMaxClients = 256;
  // Each client may hold a descriptor and up to one reply; the ceiling keeps
  // a typing error from asking for an absurd number of descriptors.
  static constexpr std::uint32_t kMaxClientsCeiling = 65536;
  // A quarter of the default --max-clients: no one user takes every place.
  static constexpr std::uint32_t kDefaultMaxClientsPerUser = 64;
  static constexpr std::uint32_t kDefaultSnapshotIntervalSeconds = 600;
  static constexpr std::uint32_t kMaxSnapshotIntervalSeconds = 86400;
  // Watchers are services on the device: a few dozen at most.
  static constexpr std::uint32_t kDefaultMaxWatchers = 64;
  // What clients together may make the server hold, in MiB: fit for a small
  // device, room for the largest import beside every watcher's full queue,
  // and with a 16 MiB reply under construction (its encoding takes up to
  // four times its size) the server stays under 128 MiB. The ceiling stays
  // addressable on a 32-bit target.
  static constexpr std::uint32_t kDefaultMaxClientMemoryMiB = 48;
  static constexpr std::uint32_t kMaxClientMemoryCeilingMiB = 1024;
  static constexpr std::uint32_t kDefaultImportTimeoutSeconds = 30;
  static constexpr std::uint32_t kMaxImportTimeoutSeconds = 3600;
  static constexpr std::uint32_t kDefaultHistoryRevisions = 1000;
  // Each revision keeps its keys' old and new values on the device's flash.
  static constexpr std::uint32_t kMaxHistoryRevisions = 1000000;

  std::string runtimeDirectory;
  std::string database;
  std::vector<std::string> imports;  // in the order given
  std::vector<std::string> schemas;  // one per set, named after its file
  std::string accessFile;            // empty: only root and the server's own user are served
  std::uint32_t maxClients = kDefaultMaxClients;  // connections served at once
  // Connections one user other than root and the server's own may hold.
  std::uint32_t maxClientsPerUser = kDefaultMaxClientsPerUser;
  std::uint32_t maxWatchers = kDefaultMaxWatchers;  // subscribed connections, beside the clients
  std::uint32_t maxClientMemoryMiB = kDefaultMaxClientMemoryMiB;
  // An import under way with no request for this long is dropped.
  std::uint32_t importTimeoutSeconds = kDefaultImportTimeoutSeconds;
  // At most one snapshot per this many seconds while writes happen; 0: none
  // but at a clean stop.
  std::uint32_t snapshotIntervalSeconds = kDefaultSnapshotIntervalSeconds;
  // Revisions the history keeps; 0: none (numbers still grow).
  std::uint32_t historyRevisions = kDefaultHistoryRevisions;
  bool help = false;

  // Parses argv[1..]. Fails (InvalidArgument, with a message for the user)
  // on an unknown option, a missing or empty value, a stray argument, or a
  // number option that is not a whole number within its bounds:
  // --max-clients and --max-clients-per-user 1 to kMaxClientsCeiling,
  // --max-watchers 0 to the same, --max-client-memory 1 to
  // kMaxClientMemoryCeilingMiB, --import-timeout 1 to
  // kMaxImportTimeoutSeconds, --snapshot-interval 0 to
  // kMaxSnapshotIntervalSeconds, --history 0 to kMaxHistoryRevisions.
  static LxStatus Parse(const std::vector<std::string>& arguments, ServerOptions* options);

  // Runtime directory: wire::DefaultRuntimeDirectory(). Database: see
  // DefaultDatabasePath(), whose failure this returns.
  LxStatus ResolveDefaults();

  // /var/lib/cfgserver/config.db for root; otherwise
  // $XDG_STATE_HOME/cfgserver/config.db, else $HOME/.local/state/cfgserver/
  // config.db (an empty or relative variable counts as unset). Without
  // either variable there is no default: fails, saying what it looked for
  // (never the current directory, which could be anyone's). Pass null for
  // an unset variable.
  static LxStatus DefaultDatabasePath(uid_t user, const char* stateHome, const char* home, std::string* path);

  // The text --help prints.
  static std::string Usage();
};

}  // namespace qet_cfgserver
