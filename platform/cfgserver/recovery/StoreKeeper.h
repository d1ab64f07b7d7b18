#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/LxStatus.h"
#include "store/ConfigStore.h"

namespace qet_cfgserver {

// How long a store kept in memory waits, at least, before a refused write
// tries the rebuild on disk again: each try reads the whole damaged file.
constexpr std::chrono::seconds kRebuildRetryInterval(10);

// What the keeper needs to know of its database.
struct StoreSettings {
  std::string database;
  std::vector<std::string> imports;  // INI files of defaults, in order
  const char* vfs = nullptr;         // as for ConfigStore::Open
  std::uint32_t historyLimit = RevisionLog::kDefaultLimit;  // revisions kept
  std::chrono::steady_clock::duration rebuildRetryInterval = kRebuildRetryInterval;
};

// Owns the server's ConfigStore and replaces it when the database turns out
// damaged, so nobody holds a store that goes stale: callers ask store() for
// each use.
//
// Recovery (at Open when the database cannot be opened or fails its check,
// unless another process holds it; later when a caller meets Corruption):
// the damaged file is closed without writing to it, a new database is
// built in <database>.rebuild, the damaged file is moved aside
// (DamagedDatabase) and the new one renamed into place. A start that finds
// no database but a rebuild finishes such an interrupted recovery. The new
// database holds, in order:
//   1. every row SalvageReader can still read from the damaged file,
//   2. the snapshot (<database>.snapshot, if it passes quick_check), keys
//      not already recovered,
//   3. the imports, as at every start (an operator's value stays).
// Steps 1 and 2 carry both layers: the effective values and the defaults,
// and the highest revision number each still holds: the rebuilt database
// continues after the larger, with no history before it (what the lost
// revisions changed cannot be trusted to agree with the rows that came
// back).
// One ERROR line says what was found, where the damaged file went and how
// many keys came from each source. A missing database with a snapshot
// beside it (deleted, or a crash in the middle of a recovery) is rebuilt
// the same way.
//
// When the rebuild cannot be written (a full disk, say), the keeper builds
// the same database in memory and serves it read-only instead of failing:
// reads answer, writes fail with Unavailable, the damaged file stays where
// it is and no snapshot is written over the good one. A refused write tries
// the rebuild on disk again, at most once per rebuildRetryInterval; the
// first that succeeds replaces the store in memory with the rebuilt file.
//
// Snapshots (SnapshotWriter) are written only when the store changed since
// the last one, or when the last run may have changed it unsnapshotted (it
// left its log behind: it did not stop cleanly) or there is none.
//
// Not thread-safe: the reactor thread owns it.
class StoreKeeper {
 public:
  // The database's directory is the server's alone.
  static constexpr mode_t kDatabaseDirectoryMode = 0700;

  explicit StoreKeeper(StoreSettings settings);
  ~StoreKeeper();

  StoreKeeper(const StoreKeeper&) = delete;
  StoreKeeper& operator=(const StoreKeeper&) = delete;

  // Creates the database's directory (0700), opens the database or
  // recovers it, rolls back a change the last run left awaiting
  // confirmation (RevisionLog::Pending; logged at WARNING), and imports the
  // defaults. Fails when the directory is unusable, another process holds
  // the database, an import file is unreadable or invalid, or a damaged
  // database could be rebuilt neither on disk nor in memory.
  LxStatus Open();

  // The store; null only after a recovery failed to build a new database.
  // Valid until the next Recover(), Close() or destruction.
  ConfigStore* store() const { return store_.get(); }

  // Recovers from cause (logged). Fails when no new database could be
  // written: then store() is the one in memory, or null when not even that
  // could be built, and the next call tries again.
  LxStatus Recover(const LxStatus& cause);

  // Whether work that failed with failure should recover and run again:
  // the store is damaged or missing, or it is kept in memory and a rebuild
  // on disk is due.
  bool CallsForRecovery(const LxStatus& failure) const;

  // Whether the store is the read-only one in memory.
  bool servingFromMemory() const { return servingFromMemory_; }

  // Writes the snapshot if the store changed since the last one. A copy
  // found damaged triggers Recover() and one more try. Failures are logged
  // and returned.
  LxStatus SnapshotIfChanged();

  // A last snapshot, then closes the store (which folds the log into the
  // database file).
  void Close();

  const std::string& snapshotPath() const { return snapshotPath_; }

 private:
  struct Counts {
    std::uint64_t fromDamaged = 0;
    std::uint64_t fromSnapshot = 0;
    std::uint64_t fromImports = 0;
  };

  // Rolls back the change left awaiting confirmation, if any.
  LxStatus RollBackUnconfirmed();
  // The store at path, with the history limit of the settings.
  LxStatus OpenStore(const std::string& path, std::unique_ptr<ConfigStore>* store);
  // Adds the defaults rows source still holds that fresh lacks.
  LxStatus CarryDefaults(const std::string& source, ConfigStore* fresh, std::string* found);
  LxStatus ImportAll(ConfigStore* store, bool stopOnError, std::uint64_t* added);
  // Recover, for Open: a store in memory counts as opened.
  LxStatus RecoverAtStart(const LxStatus& cause);
  // Fills fresh from the damaged database (if there is one), the snapshot
  // and the imports, its revision raised first (CarryRevision).
  LxStatus Fill(ConfigStore* fresh, Counts* counts, std::string* found);
  // Raises fresh's revision to the highest that damaged (none when empty) or
  // the snapshot holds.
  LxStatus CarryRevision(const std::string& damaged, ConfigStore* fresh);
  // Fills rebuildPath_, then the damaged file moved aside (to *movedTo) and the
  // rebuilt one renamed into place and opened as the store.
  LxStatus RebuildInPlace(Counts* counts, std::string* found, std::string* movedTo);
  // Builds the same database in memory and serves it read-only.
  LxStatus RebuildInMemory(Counts* counts, std::string* found);
  LxStatus WriteSnapshot();

  const StoreSettings settings_;
  const std::string snapshotPath_;
  const std::string rebuildPath_;
  std::unique_ptr<ConfigStore> store_;
  bool snapshotStale_ = true;
  bool servingFromMemory_ = false;
  LxStatus damage_;  // why the store in memory replaced the damaged file
  std::chrono::steady_clock::time_point lastRebuild_;
  std::uint64_t changesAtSnapshot_ = 0;
};

}  // namespace qet_cfgserver
