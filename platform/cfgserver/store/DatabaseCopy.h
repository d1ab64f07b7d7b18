#pragma once

#include <string>

#include "common/LxStatus.h"
#include "store/ConfigStore.h"

namespace qet_cfgserver {

// A consistent copy of a store's database in a new file, made with SQLite's
// online backup API while the store stays open: what snapshots are made of.
// The copy is left in rollback-journal mode, so that it can be read without
// companion files, and synced. It holds the pages as they are, damage
// included: checking it is the caller's part (SnapshotWriter).
//
// Reactor thread, like the store.
class DatabaseCopy {
 public:
  // path must not exist or be empty. vfs as for ConfigStore::Open.
  static LxStatus Write(const ConfigStore& store, const std::string& path, const char* vfs);
};

}  // namespace qet_cfgserver
