#include "store/SqliteStatus.h"

#include "store/SqliteStatement.h"

namespace qet_cfgserver {

namespace {

// Reported by quick_check when it finds nothing wrong.
constexpr const char* kQuickCheckPassed = "ok";
// At most three findings: enough for a log line.
constexpr const char* kQuickCheck = "PRAGMA quick_check(3)";

}  // namespace

LxStatus SqliteFailure(int result, const std::string& message) {
  switch (result & 0xff) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return LxStatus::Corruption(message);
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return LxStatus::Unavailable(message + " (another process holds the database)");
    case SQLITE_READONLY:
      return LxStatus::Unavailable(message);
    default:
      return LxStatus::IoError(message);
  }
}

LxStatus LastSqliteFailure(sqlite3* database, const std::string& what) {
  return SqliteFailure(sqlite3_extended_errcode(database), what + ": " + sqlite3_errmsg(database));
}

LxStatus QuickCheck(sqlite3* database) {
  SqliteStatement check;
  if (check.Prepare(database, kQuickCheck) != SQLITE_OK) return LastSqliteFailure(database, "cannot check the database");
  std::string findings;
  int result;
  while ((result = check.Step()) == SQLITE_ROW) findings += (findings.empty() ? "" : "; ") + check.ColumnBlob(0);
  if (result != SQLITE_DONE) return LastSqliteFailure(database, "cannot check the database");
  if (findings == kQuickCheckPassed) return LxStatus::Ok();
  for (char& byte : findings)
    if (byte == '\n') byte = ' ';
  return LxStatus::Corruption("quick_check: " + findings);
}

}  // namespace qet_cfgserver
