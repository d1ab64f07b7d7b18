#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>

#include "common/LxStatus.h"

namespace qet_cfgserver {

// An SQLite VFS stacked on another that hands a write-ahead log's appends to
// the VFS below a few frames at a time, at the point they must reach it,
// rather than piece by piece as SQLite makes them. SQLite writes
// each frame of the log as two writes (its header, then its page), so a
// commit of many frames would cost as many system calls before its sync.
//
// Only files opened as a write-ahead log (SQLITE_OPEN_WAL) are buffered;
// every other file is the VFS below's own, untouched. Writes to the log that
// follow one another are held, up to kMaxBufferedBytes; they go down in one
// write before the log's xSync (then the real sync), before an xRead that
// overlaps them, and before xTruncate, xFileSize, xClose and any
// xFileControl. A write that does not follow the held ones, or would take
// them over the bound, first sends them down; one larger than the bound
// goes down at once. So durability is SQLite's: what was written before an
// xSync is on disk when it returns.
//
// Each open log takes a buffer of kMaxBufferedBytes from SQLite's allocator
// when it opens (an open fails with SQLITE_NOMEM without it), and gives it
// back when it closes: a store holds one.
//
// A write down that fails returns its error code unchanged (SQLITE_FULL
// stays SQLITE_FULL) and drops the held bytes: they belong to a transaction
// that now fails, and SQLite writes its frames again.
//
// Another connection reading the same log sees held frames only once they
// go down, at the latest at the next sync: right away under
// synchronous=FULL, where every commit syncs, and moot for a database
// locked exclusively. The store has both.
//
// Create registers the shim under a name of its own (not as the default
// VFS); the destructor unregisters it, so every connection opened on it must
// be closed first. The VFS below must outlive it. Each open file, with what
// it holds, is used only by the thread using its connection; the shim keeps
// no other state.
class WalWriteBuffer {
 public:
  // The most a log keeps held, and so the most one write down carries:
  // 7 frames of a 1 KiB page, so a group commit of 50 single-key writes
  // (about 80 frames) takes a dozen writes instead of 160. Not more: a
  // write of 8 KiB or more has Linux cache the file in large folios, and
  // from then on every small commit dirties, and counts as written, a
  // whole folio (18 KiB a single-key write instead of 7, measured on
  // kernel 6.18).
  static constexpr int kMaxBufferedBytes = 8 * 1024 - 1;

  // Stacks a shim on the VFS named below (null: the default VFS).
  static LxStatus Create(const char* below, std::unique_ptr<WalWriteBuffer>* shim);

  ~WalWriteBuffer();

  WalWriteBuffer(const WalWriteBuffer&) = delete;
  WalWriteBuffer& operator=(const WalWriteBuffer&) = delete;

  // The name to give sqlite3_open_v2.
  const char* name() const { return name_.c_str(); }

 private:
  struct Hooks;  // the C callbacks SQLite calls, in the .cpp
  friend struct Hooks;

  explicit WalWriteBuffer(sqlite3_vfs* below);

  std::string name_;
  sqlite3_vfs vfs_;
};

}  // namespace qet_cfgserver
