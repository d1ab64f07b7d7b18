#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/ConfigTypes.h"
#include "common/LxStatus.h"
#include "store/SqliteStatement.h"
#include "store/WalWriteBuffer.h"

namespace qet_cfgserver {

// The SQLite connection a ConfigStore and its parts share, and the one way
// they run SQL: each prepares its statements once (Prepare) and runs them
// through Run or Query, which step them to the end and reset them for the
// next use; a call that writes more than one statement runs them inside
// InTransaction.
//
// Open configures the connection for the store: extended result codes, a
// busy timeout, the file locked exclusively (one store, one process; it
// also spares the file-lock calls of every transaction), PRAGMA
// quick_check before anything is written, 1 KiB pages (a database made
// with others is rebuilt once), then WAL with synchronous=FULL. The
// connection runs on a WalWriteBuffer of its own, stacked on the VFS it was
// given: a commit's appends to the log reach that VFS a few frames per
// write, not piece by piece.
// The schema is StoreSchema's.
//
// Keeps count of the rows changed through it, per table: the store's
// changes(). Closing it folds the log into the database file unless
// LeaveLogOnClose() was called.
//
// Private to store/ and recovery/ (its header reaches <sqlite3.h>). Owned by
// its ConfigStore; the reactor thread's alone.
class StoreDatabase {
 public:
  // Opens (creating if needed) and configures the database at path; every
  // failure names the path. vfs as for ConfigStore::Open.
  static LxStatus Open(const std::string& path, const char* vfs, std::unique_ptr<StoreDatabase>* database);

  // The path that opens a database held in memory alone (no file, no log).
  static constexpr const char* kInMemory = ":memory:";

  ~StoreDatabase();

  StoreDatabase(const StoreDatabase&) = delete;
  StoreDatabase& operator=(const StoreDatabase&) = delete;

  LxStatus Prepare(SqliteStatement* statement, const std::string& sql);

  // Prepares sql, runs it to its end and finalises it: for what runs once.
  LxStatus Execute(const std::string& sql);

  // Steps statement (bound by the caller) to its end, handing each row to
  // onRow(const SqliteStatement&), then resets it. Failure says what failed.
  template <typename OnRow>
  LxStatus Query(SqliteStatement* statement, const char* what, OnRow onRow) {
    int result;
    while ((result = statement->Step()) == SQLITE_ROW) onRow(*statement);
    const LxStatus status = result == SQLITE_DONE ? LxStatus::Ok() : Failure(what);
    statement->Reset();
    return status;
  }

  // Query for a statement whose rows, if any, do not matter.
  LxStatus Run(SqliteStatement* statement, const char* what);

  // Runs body between BEGIN IMMEDIATE and COMMIT; rolls back when either
  // fails. what names the commit in its failure.
  LxStatus InTransaction(const char* what, const std::function<LxStatus()>& body);

  // Binds each row (set, section, key, value) to statement and runs it, in
  // order, all in one transaction. *changed counts the rows changed; 0 on
  // failure, when none is kept.
  LxStatus WriteRows(SqliteStatement* statement, const std::vector<ConfigRow>& rows, std::uint64_t* changed);

  // Rows the last statement inserted, changed or deleted.
  std::uint64_t RowsChanged() const;

  // A number that every change of the database through this connection
  // advances, whichever statement made it (SQLite's count of changed rows).
  std::uint64_t generation() const;
  // Whether a transaction is open (InTransaction's body is running): what
  // it reads may yet be rolled back.
  bool inTransaction() const;
  // How many transactions InTransaction has begun: with inTransaction(), it
  // tells whether what was read earlier was read in the open transaction.
  std::uint64_t transactionsBegun() const { return transactionsBegun_; }

  // From now on every statement that would change the database fails
  // (Unavailable); reads go on.
  LxStatus RefuseWrites();

  // The connection's last failure as "what: SQLite's message".
  LxStatus Failure(const std::string& what) const;

  void CountConfigChanges(std::uint64_t rows) { configChanges_ += rows; }
  void CountDefaultsChanges(std::uint64_t rows) { defaultsChanges_ += rows; }
  std::uint64_t configChanges() const { return configChanges_; }
  std::uint64_t defaultsChanges() const { return defaultsChanges_; }

  // Closing will leave the write-ahead log as it is.
  void LeaveLogOnClose();

  sqlite3* handle() const { return database_; }

 private:
  StoreDatabase(std::unique_ptr<WalWriteBuffer> logBuffer, sqlite3* database)
      : logBuffer_(std::move(logBuffer)), database_(database) {}

  // inMemory: a database without a file, which cannot use a write-ahead log.
  LxStatus Configure(bool inMemory);
  // Gives the database kPageBytes pages, rebuilding one made with others.
  void UsePageSize();

  // First, so destroyed last: the connection closes only once the
  // statements below are finalised, and uses the shim until then.
  std::unique_ptr<WalWriteBuffer> logBuffer_;
  sqlite3* database_;
  SqliteStatement begin_;
  SqliteStatement commit_;
  SqliteStatement rollback_;
  std::uint64_t configChanges_ = 0;
  std::uint64_t transactionsBegun_ = 0;
  std::uint64_t defaultsChanges_ = 0;
};

}  // namespace qet_cfgserver
