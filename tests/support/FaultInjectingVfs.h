#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "common/LxStatus.h"

namespace quenlo_test {

// An SQLite VFS for tests that wraps SQLite's default (unix) VFS and fails
// the way a device does: a power cut, or a full disk.
//
// Power cut. The shim keeps what a real disk would lose:
//   - every write and truncation of a file since that file's last xSync, as
//     an undo record of the bytes and the size it replaced;
//   - every file created since its directory was last synced;
//   - every file deleted since its directory was last synced, with the
//     content it had on disk.
// A directory counts as synced exactly when the unix VFS syncs it: at the
// first xSync of a journal, write-ahead log or super-journal that was opened
// with SQLITE_OPEN_CREATE (its UNIXFILE_DIRSYNC), and at an xDelete asked to
// sync its directory. The shim does not call the real xSync (it keeps
// durability itself, which keeps tests fast), so the real directory sync does
// not happen either: the shim applies it to its own bookkeeping instead.
//
// CutPowerAfter(n) arms the cut: n more changing calls (xWrite, xTruncate,
// xSync, xDelete, and an xOpen that creates the file) succeed; the next one
// is the cut and fails with an I/O error, and so does every changing call
// after it: the process is dead, so closing its connections persists
// nothing. Once every connection on the shim is closed, RestoreDurableState()
// puts the files back as the disk holds them after the cut and revives the
// shim.
//
// Not modelled: a write torn inside itself (a disk that writes sectors
// atomically and in order, which SQLite's default powersafe-overwrite
// assumes); writes landing out of order (RestoreDurableState may keep a
// prefix of the unsynced writes, never an arbitrary subset); the shared-memory
// wal-index (-shm) and memory-mapped I/O, which pass straight through (a store
// in exclusive locking mode keeps its wal-index in its own heap); file-control
// calls, which pass straight through; files without a name (temporary files),
// which are checked for the cut but not recorded; whatever a program does to
// files outside SQLite (a rename, a removal, its own directory sync), which the shim
// cannot see: such a change counts as durable at once. Reads always pass.
//
// Disk full. While SetDiskFull(true), every xWrite fails with SQLITE_FULL
// and changes nothing: on the flash file systems of a device every write
// needs a free block. Truncation and sync still work.
//
// The constructor registers the shim under name (not as the default VFS);
// the destructor unregisters it, so every connection opened on it must be
// closed first. The shim owns its records and nothing else; files stay on
// disk. Any thread may call any method; SQLite may call the hooks from any
// thread; one mutex serialises all of it.
class FaultInjectingVfs {
 public:
  explicit FaultInjectingVfs(const std::string& name);
  ~FaultInjectingVfs();

  FaultInjectingVfs(const FaultInjectingVfs&) = delete;
  FaultInjectingVfs& operator=(const FaultInjectingVfs&) = delete;

  // The name to give sqlite3_open_v2 (or ConfigStore::Open).
  const char* name() const { return name_.c_str(); }

  // Arms a power cut after changingCalls more changing calls (0: the next
  // one is cut).
  void CutPowerAfter(std::uint64_t changingCalls);
  // Whether the cut has happened: the process is dead.
  bool powerCut() const;
  // Writes and truncations not yet synced, oldest first.
  std::size_t unsyncedWrites() const;

  // After a cut, with every connection on the shim closed: undoes all but
  // the oldest landedWrites unsynced writes (0 keeps none), removes the files
  // whose creation was not durable, puts back the files whose deletion was
  // not durable. Then forgets every record, disarms the cut and lets changes
  // through again.
  LxStatus RestoreDurableState(std::size_t landedWrites = 0);

  // Every write fails with SQLITE_FULL while full is true.
  void SetDiskFull(bool full);

 private:
  struct Hooks;  // the C callbacks SQLite calls, in the .cpp
  friend struct Hooks;

  // The bytes and size a write or truncation replaced.
  struct UndoRecord {
    std::string path;
    sqlite3_int64 offset;
    std::string oldBytes;
    sqlite3_int64 sizeBefore;
  };

  // Counts one changing call: SQLITE_OK, or errorCode once the process is
  // dead. The helpers below expect mutex_ held.
  int ChangingCall(int errorCode);
  // Keeps what a write or truncation of length bytes at offset replaces.
  int RecordUndo(const std::string& path, sqlite3_file* real, sqlite3_int64 offset, sqlite3_int64 length);
  void ForgetWrites(const std::string& path);
  void SyncedDirectory(const std::string& directory);
  // The file at path as the disk holds it: its unsynced writes undone.
  LxStatus DurableContent(const std::string& path, std::string* content) const;
  // Puts back, in the file itself, what record replaced.
  static LxStatus Undo(const UndoRecord& record);

  std::string name_;
  sqlite3_vfs* real_;
  sqlite3_vfs vfs_;
  sqlite3_io_methods methods_;

  mutable std::mutex mutex_;
  std::vector<UndoRecord> unsynced_;                 // oldest first
  std::set<std::string> createdUnsynced_;            // paths
  std::map<std::string, std::string> deletedUnsynced_;  // path -> content on disk
  bool armed_ = false;
  std::uint64_t callsBeforeCut_ = 0;
  bool dead_ = false;
  bool diskFull_ = false;
};

}  // namespace quenlo_test
