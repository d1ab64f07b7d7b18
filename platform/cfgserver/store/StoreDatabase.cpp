#include "store/StoreDatabase.h"

#include "store/SqliteStatus.h"
#include "store/StatusContext.h"

namespace qet_cfgserver {

namespace {

// Another process touching the database (a backup, say) gets this long
// before a statement fails.
constexpr int kBusyTimeoutMilliseconds = 5000;

constexpr const char* kWriteAheadLog = "wal";

// Every commit appends each page it changed to the log, and the kernel
// counts each 4 KiB of the log a commit touches as written: a single-key
// write changes a page of config and the last page of history, two small
// pages that mostly share one or two of the kernel's (two of 4 KiB would
// always touch three).
constexpr int kPageBytes = 1024;

}  // namespace

LxStatus StoreDatabase::Open(const std::string& path, const char* vfs, std::unique_ptr<StoreDatabase>* database) {
  std::unique_ptr<WalWriteBuffer> logBuffer;
  const LxStatus stacked = WalWriteBuffer::Create(vfs, &logBuffer);
  if (!stacked.ok()) return WithContext("cannot open database " + path, stacked);
  sqlite3* connection = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  const int result = sqlite3_open_v2(path.c_str(), &connection, flags, logBuffer->name());
  if (result != SQLITE_OK) {
    const std::string what = "cannot open database " + path + ": ";
    LxStatus failure =
        SqliteFailure(result, what + (connection != nullptr ? sqlite3_errmsg(connection) : sqlite3_errstr(result)));
    sqlite3_close_v2(connection);
    return failure;
  }
  std::unique_ptr<StoreDatabase> opened(new StoreDatabase(std::move(logBuffer), connection));
  LxStatus status = opened->Configure(path == kInMemory);
  if (!status.ok()) return WithContext("database " + path, status);
  *database = std::move(opened);
  return LxStatus::Ok();
}

StoreDatabase::~StoreDatabase() {
  // The statement members are finalised after this body; close_v2 defers the
  // actual close until the last of them (and the parts') is gone, and the
  // log buffer goes after them.
  sqlite3_close_v2(database_);
}

LxStatus StoreDatabase::Configure(bool inMemory) {
  sqlite3_busy_timeout(database_, kBusyTimeoutMilliseconds);
  sqlite3_extended_result_codes(database_, 1);

  // The server is the database's only user: holding its locks for good
  // spares the file-lock calls of every transaction, and keeps a second
  // server off the same file. Must precede the switch to WAL.
  LxStatus status = Execute("PRAGMA locking_mode=EXCLUSIVE");
  if (!status.ok()) return status;
  // Before anything below may write to the file.
  status = QuickCheck(database_);
  if (!status.ok()) return status;
  UsePageSize();

  // journal_mode answers with the mode in force; a database that cannot use
  // WAL (some file systems) must not silently run without it.
  SqliteStatement journal;
  if (journal.Prepare(database_, "PRAGMA journal_mode=WAL") != SQLITE_OK || journal.Step() != SQLITE_ROW)
    return Failure("cannot set the journal mode");
  // A database in memory keeps its journal there: it has nothing to make durable.
  if (journal.ColumnBlob(0) != kWriteAheadLog && !inMemory)
    return LxStatus::IoError("the database cannot use a write-ahead log");
  journal.Reset();  // a statement in progress would keep later transactions from committing

  status = Execute("PRAGMA synchronous=FULL");
  if (status.ok()) status = Prepare(&begin_, "BEGIN IMMEDIATE");
  if (status.ok()) status = Prepare(&commit_, "COMMIT");
  if (status.ok()) status = Prepare(&rollback_, "ROLLBACK");
  return status;
}

void StoreDatabase::UsePageSize() {
  const std::string pageSize = "PRAGMA page_size=" + std::to_string(kPageBytes);
  SqliteStatement pages;
  if (pages.Prepare(database_, "PRAGMA page_count") != SQLITE_OK || pages.Step() != SQLITE_ROW) return;
  const bool empty = pages.ColumnInt(0) == 0;
  pages.Reset();
  // A new database takes the size as it is made; an old one once rebuilt.
  if (!Execute(pageSize).ok() || empty) return;
  SqliteStatement size;
  if (size.Prepare(database_, "PRAGMA page_size") != SQLITE_OK || size.Step() != SQLITE_ROW ||
      size.ColumnInt(0) == kPageBytes)
    return;
  size.Reset();
  // One made with other pages (before history) is rebuilt with these once:
  // VACUUM, atomic under the rollback journal, which it needs. Should it
  // fail (no room for its copy), the database keeps its pages.
  SqliteStatement journal;
  if (journal.Prepare(database_, "PRAGMA journal_mode=DELETE") != SQLITE_OK) return;
  journal.Step();
  journal.Reset();
  Execute("VACUUM");
}

LxStatus StoreDatabase::Prepare(SqliteStatement* statement, const std::string& sql) {
  if (statement->Prepare(database_, sql.c_str()) != SQLITE_OK) return Failure("cannot prepare a statement");
  return LxStatus::Ok();
}

LxStatus StoreDatabase::Execute(const std::string& sql) {
  SqliteStatement statement;
  LxStatus status = Prepare(&statement, sql);
  if (!status.ok()) return status;
  return Run(&statement, sql.c_str());
}

LxStatus StoreDatabase::Run(SqliteStatement* statement, const char* what) {
  return Query(statement, what, [](const SqliteStatement&) {});
}

LxStatus StoreDatabase::InTransaction(const char* what, const std::function<LxStatus()>& body) {
  const int began = begin_.Step();
  begin_.Reset();
  if (began != SQLITE_DONE) return Failure("cannot begin a transaction");
  ++transactionsBegun_;
  LxStatus status = body();
  if (status.ok()) {
    const int committed = commit_.Step();
    commit_.Reset();
    if (committed == SQLITE_DONE) return status;
    status = Failure(what);
  }
  rollback_.Step();
  rollback_.Reset();
  return status;
}

LxStatus StoreDatabase::WriteRows(SqliteStatement* statement, const std::vector<ConfigRow>& rows,
                                  std::uint64_t* changed) {
  std::uint64_t count = 0;
  LxStatus status = InTransaction("cannot commit", [&]() {
    for (const ConfigRow& row : rows) {
      statement->BindBlobs(row.set, row.section, row.key, row.value);
      LxStatus written = Run(statement, "cannot write a value");
      if (!written.ok()) return written;
      count += RowsChanged();
    }
    return LxStatus::Ok();
  });
  *changed = status.ok() ? count : 0;
  return status;
}

LxStatus StoreDatabase::RefuseWrites() { return Execute("PRAGMA query_only=ON"); }

std::uint64_t StoreDatabase::generation() const {
  return static_cast<std::uint64_t>(sqlite3_total_changes64(database_));
}

bool StoreDatabase::inTransaction() const { return sqlite3_get_autocommit(database_) == 0; }

std::uint64_t StoreDatabase::RowsChanged() const { return static_cast<std::uint64_t>(sqlite3_changes(database_)); }

LxStatus StoreDatabase::Failure(const std::string& what) const { return LastSqliteFailure(database_, what); }

void StoreDatabase::LeaveLogOnClose() { sqlite3_db_config(database_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr); }

}  // namespace qet_cfgserver
