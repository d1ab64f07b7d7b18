#include "store/DatabaseCopy.h"

#include <memory>

#include "store/SqliteConnection.h"
#include "store/SqliteStatement.h"
#include "store/SqliteStatus.h"
#include "store/StoreDatabase.h"

namespace qet_cfgserver {

namespace {

// A read-only reader can open a file in this mode without creating a log
// beside it.
constexpr const char* kRollbackJournal = "PRAGMA journal_mode=DELETE";

LxStatus CopyPages(sqlite3* from, sqlite3* to) {
  sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
  if (backup == nullptr) return LastSqliteFailure(to, "cannot start the copy");
  // One step copies every page under one read transaction: consistent.
  sqlite3_backup_step(backup, -1);
  const int result = sqlite3_backup_finish(backup);
  if (result != SQLITE_OK) return SqliteFailure(result, std::string("cannot copy the database: ") + sqlite3_errmsg(to));
  return LxStatus::Ok();
}

LxStatus LeaveLogMode(sqlite3* copy) {
  SqliteStatement journal;
  if (journal.Prepare(copy, kRollbackJournal) != SQLITE_OK) return LastSqliteFailure(copy, "cannot leave the log mode");
  const int result = journal.Step();  // answers with the mode now in force
  if (result != SQLITE_ROW && result != SQLITE_DONE) return LastSqliteFailure(copy, "cannot leave the log mode");
  return LxStatus::Ok();
}

LxStatus Sync(sqlite3* copy) {
  sqlite3_file* file = nullptr;
  int result = sqlite3_file_control(copy, "main", SQLITE_FCNTL_FILE_POINTER, &file);
  if (result != SQLITE_OK || file == nullptr || file->pMethods == nullptr)
    return LxStatus::IoError("cannot reach the copied file to sync it");
  result = file->pMethods->xSync(file, SQLITE_SYNC_FULL);
  if (result != SQLITE_OK) return SqliteFailure(result, std::string("cannot sync the copy: ") + sqlite3_errstr(result));
  return LxStatus::Ok();
}

}  // namespace

LxStatus DatabaseCopy::Write(const ConfigStore& store, const std::string& path, const char* vfs) {
  sqlite3* opened = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  const int result = sqlite3_open_v2(path.c_str(), &opened, flags, vfs);
  SqliteConnection copy(opened);
  if (result != SQLITE_OK)
    return SqliteFailure(result, "cannot create " + path + ": " +
                                     (opened != nullptr ? sqlite3_errmsg(opened) : sqlite3_errstr(result)));
  LxStatus status = CopyPages(store.database_->handle(), copy.get());
  if (status.ok()) status = LeaveLogMode(copy.get());
  if (status.ok()) status = Sync(copy.get());
  return status;
}

}  // namespace qet_cfgserver
