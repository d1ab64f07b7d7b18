#pragma once

#include <string>

#include "common/LxStatus.h"
#include "store/ConfigStore.h"

namespace qet_cfgserver {

// Writes <database>.snapshot, the fallback recovery reads when the database
// is damaged. The copy is made by DatabaseCopy (SQLite's online backup API)
// into <snapshot>.tmp (created 0600 whatever the umask: configuration holds
// secrets), synced, checked with quick_check, renamed over the snapshot, and
// the directory synced: a crash at any point leaves the previous snapshot or
// the new one, whole. A copy that fails its check (the backup copies pages
// as they are, damage included) replaces nothing and is reported as
// Corruption of the database. Reactor thread only, like the store.
class SnapshotWriter {
 public:
  static std::string PathFor(const std::string& database);

  // vfs as for ConfigStore::Open; the rename and the directory sync are
  // plain file system calls.
  static LxStatus Write(const ConfigStore& store, const std::string& snapshot, const char* vfs);
};

}  // namespace qet_cfgserver
