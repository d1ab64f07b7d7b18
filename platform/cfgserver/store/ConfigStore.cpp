#include "store/ConfigStore.h"

namespace qet_cfgserver {

namespace {

constexpr const char* kCreateTable =
    "CREATE TABLE IF NOT EXISTS config ("
    " set_name BLOB NOT NULL, section_name BLOB NOT NULL, key_name BLOB NOT NULL, value BLOB NOT NULL,"
    " PRIMARY KEY (set_name, section_name, key_name)) WITHOUT ROWID";

// Listings skip over the primary key: one seek for the first name, then one
// per following name (the least one greater than the last), so they cost
// what they list, not the rows under each name. Names are never NULL, so
// NULL ends the walk; rows come out in the order they were found: ascending.
constexpr const char* kSelectSets =
    "WITH RECURSIVE names(name) AS ("
    " SELECT (SELECT min(set_name) FROM config)"
    " UNION ALL"
    " SELECT (SELECT set_name FROM config WHERE set_name > names.name ORDER BY set_name LIMIT 1)"
    " FROM names WHERE names.name IS NOT NULL)"
    " SELECT name FROM names WHERE name IS NOT NULL";
constexpr const char* kSelectSections =
    "WITH RECURSIVE names(name) AS ("
    " SELECT (SELECT min(section_name) FROM config WHERE set_name = ?1)"
    " UNION ALL"
    " SELECT (SELECT section_name FROM config WHERE set_name = ?1 AND section_name > names.name"
    " ORDER BY section_name LIMIT 1)"
    " FROM names WHERE names.name IS NOT NULL)"
    " SELECT name FROM names WHERE name IS NOT NULL";

// Another process touching the database (a backup, say) gets this long
// before a statement fails.
constexpr int kBusyTimeoutMilliseconds = 5000;

// Reported by quick_check when it finds nothing wrong.
constexpr const char* kQuickCheckPassed = "ok";
// At most three findings: enough for a log line.
constexpr const char* kQuickCheck = "PRAGMA quick_check(3)";

struct StatementText {
  SqliteStatement ConfigStore::*statement;
  const char* sql;
};

LxStatus Fail(int result, sqlite3* database, const std::string& what) {
  return SqliteFailure(result, what + ": " + (database != nullptr ? sqlite3_errmsg(database) : sqlite3_errstr(result)));
}

// Brings the copy's header to rollback-journal mode, which a read-only
// reader can open without creating a log beside it, and syncs the file.
LxStatus FinishCopy(sqlite3* copy) {
  int result = sqlite3_exec(copy, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
  if (result != SQLITE_OK) return Fail(result, copy, "cannot leave the log mode");
  sqlite3_file* file = nullptr;
  result = sqlite3_file_control(copy, "main", SQLITE_FCNTL_FILE_POINTER, &file);
  if (result != SQLITE_OK || file == nullptr || file->pMethods == nullptr)
    return LxStatus::IoError("cannot reach the copied file to sync it");
  result = file->pMethods->xSync(file, SQLITE_SYNC_FULL);
  if (result != SQLITE_OK) return SqliteFailure(result, std::string("cannot sync the copy: ") + sqlite3_errstr(result));
  return LxStatus::Ok();
}

}  // namespace

LxStatus SqliteFailure(int result, const std::string& message) {
  switch (result & 0xff) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return LxStatus::Corruption(message);
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return LxStatus::Unavailable(message + " (another process holds the database)");
    default:
      return LxStatus::IoError(message);
  }
}

LxStatus QuickCheck(sqlite3* database) {
  SqliteStatement check;
  if (check.Prepare(database, kQuickCheck) != SQLITE_OK)
    return Fail(sqlite3_extended_errcode(database), database, "cannot check the database");
  std::string findings;
  int result;
  while ((result = check.Step()) == SQLITE_ROW) findings += (findings.empty() ? "" : "; ") + check.ColumnBlob(0);
  if (result != SQLITE_DONE) return Fail(sqlite3_extended_errcode(database), database, "cannot check the database");
  if (findings == kQuickCheckPassed) return LxStatus::Ok();
  for (char& byte : findings)
    if (byte == '\n') byte = ' ';
  return LxStatus::Corruption("quick_check: " + findings);
}

LxStatus WithContext(const std::string& context, const LxStatus& status) {
  const std::string message = context + ": " + status.message();
  switch (status.code()) {
    case LxStatus::Code::kOk: return status;
    case LxStatus::Code::kCorruption: return LxStatus::Corruption(message);
    case LxStatus::Code::kUnavailable: return LxStatus::Unavailable(message);
    case LxStatus::Code::kInvalidArgument: return LxStatus::InvalidArgument(message);
    default: return LxStatus::IoError(message);
  }
}

ConfigStore::~ConfigStore() {
  // The statement members are finalised after this body; close_v2 defers the
  // actual close until the last of them is gone.
  sqlite3_close_v2(database_);
}

LxStatus ConfigStore::Open(const std::string& path, std::unique_ptr<ConfigStore>* store, const char* vfs) {
  sqlite3* database = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  const int result = sqlite3_open_v2(path.c_str(), &database, flags, vfs);
  if (result != SQLITE_OK) {
    LxStatus failure = Fail(result, database, "cannot open database " + path);
    sqlite3_close_v2(database);
    return failure;
  }
  std::unique_ptr<ConfigStore> opened(new ConfigStore(database));
  LxStatus status = opened->Initialise();
  if (!status.ok()) return WithContext("database " + path, status);
  *store = std::move(opened);
  return LxStatus::Ok();
}

LxStatus ConfigStore::Initialise() {
  sqlite3_busy_timeout(database_, kBusyTimeoutMilliseconds);
  sqlite3_extended_result_codes(database_, 1);

  // The server is the database's only user: holding its locks for good
  // spares the file-lock calls of every transaction, and keeps a second
  // server off the same file. Must precede the switch to WAL.
  LxStatus locked = Execute("PRAGMA locking_mode=EXCLUSIVE");
  if (!locked.ok()) return locked;
  // Before anything below may write to the file.
  LxStatus checked = QuickCheck(database_);
  if (!checked.ok()) return checked;

  // journal_mode answers with the mode in force; a database that cannot use
  // WAL (some file systems) must not silently run without it.
  SqliteStatement journal;
  if (journal.Prepare(database_, "PRAGMA journal_mode=WAL") != SQLITE_OK || journal.Step() != SQLITE_ROW)
    return Failure("cannot set the journal mode");
  if (journal.ColumnBlob(0) != "wal") return LxStatus::IoError("the database cannot use a write-ahead log");
  journal.Reset();  // a statement in progress would keep the migration from committing

  LxStatus status = Execute("PRAGMA synchronous=FULL");
  if (status.ok()) status = Execute(kCreateTable);
  if (status.ok()) status = Migrate();
  if (!status.ok()) return status;

  const StatementText statements[] = {
      {&ConfigStore::selectSets_, kSelectSets},
      {&ConfigStore::selectSections_, kSelectSections},
      {&ConfigStore::selectPairs_,
       "SELECT key_name, value FROM config WHERE set_name = ?1 AND section_name = ?2 ORDER BY key_name"},
      {&ConfigStore::selectValue_,
       "SELECT value FROM config WHERE set_name = ?1 AND section_name = ?2 AND key_name = ?3"},
      {&ConfigStore::upsertValue_,
       "INSERT OR REPLACE INTO config (set_name, section_name, key_name, value) VALUES (?1, ?2, ?3, ?4)"},
      {&ConfigStore::insertDefault_,
       "INSERT OR IGNORE INTO config (set_name, section_name, key_name, value) VALUES (?1, ?2, ?3, ?4)"},
      {&ConfigStore::begin_, "BEGIN IMMEDIATE"},
      {&ConfigStore::commit_, "COMMIT"},
      {&ConfigStore::rollback_, "ROLLBACK"},
  };
  for (const StatementText& text : statements)
    if ((this->*text.statement).Prepare(database_, text.sql) != SQLITE_OK) return Failure("cannot prepare a statement");
  return LxStatus::Ok();
}

LxStatus ConfigStore::Execute(const char* sql) {
  char* error = nullptr;
  const int result = sqlite3_exec(database_, sql, nullptr, nullptr, &error);
  if (result == SQLITE_OK) return LxStatus::Ok();
  std::string message = std::string(sql) + ": " + (error != nullptr ? error : sqlite3_errstr(result));
  sqlite3_free(error);
  return SqliteFailure(sqlite3_extended_errcode(database_), message);
}

LxStatus ConfigStore::Failure(const char* what) const {
  return Fail(sqlite3_extended_errcode(database_), database_, what);
}

LxStatus ConfigStore::CopyTo(const std::string& path, const char* vfs) const {
  sqlite3* copy = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  int result = sqlite3_open_v2(path.c_str(), &copy, flags, vfs);
  LxStatus status;
  if (result != SQLITE_OK) status = Fail(result, copy, "cannot create " + path);
  sqlite3_backup* backup = status.ok() ? sqlite3_backup_init(copy, "main", database_, "main") : nullptr;
  if (status.ok() && backup == nullptr) status = Fail(sqlite3_extended_errcode(copy), copy, "cannot start the copy");
  if (backup != nullptr) {
    // One step copies every page under one read transaction: consistent.
    sqlite3_backup_step(backup, -1);
    result = sqlite3_backup_finish(backup);
    if (result != SQLITE_OK) status = Fail(result, copy, "cannot copy the database");
  }
  if (status.ok()) status = FinishCopy(copy);
  sqlite3_close_v2(copy);
  return status;
}

void ConfigStore::LeaveLogOnClose() { sqlite3_db_config(database_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr); }

LxStatus ConfigStore::ReadColumn(SqliteStatement* statement, std::vector<std::string>* names) {
  names->clear();
  int result;
  while ((result = statement->Step()) == SQLITE_ROW) names->push_back(statement->ColumnBlob(0));
  statement->Reset();
  if (result != SQLITE_DONE) return Failure("cannot read the names");
  return LxStatus::Ok();
}

LxStatus ConfigStore::GetSets(std::vector<std::string>* sets) { return ReadColumn(&selectSets_, sets); }

LxStatus ConfigStore::GetSections(const std::string& set, std::vector<std::string>* sections) {
  selectSections_.BindBlob(1, set);
  return ReadColumn(&selectSections_, sections);
}

LxStatus ConfigStore::GetKeysAndValues(const std::string& set, const std::string& section,
                                       std::vector<wire::KeyValue>* pairs) {
  pairs->clear();
  selectPairs_.BindBlob(1, set);
  selectPairs_.BindBlob(2, section);
  int result;
  while ((result = selectPairs_.Step()) == SQLITE_ROW)
    pairs->push_back(wire::KeyValue{selectPairs_.ColumnBlob(0), selectPairs_.ColumnBlob(1)});
  selectPairs_.Reset();
  if (result != SQLITE_DONE) return Failure("cannot read the keys");
  return LxStatus::Ok();
}

LxStatus ConfigStore::GetValue(const std::string& set, const std::string& section, const std::string& key,
                               std::string* value) {
  selectValue_.BindBlob(1, set);
  selectValue_.BindBlob(2, section);
  selectValue_.BindBlob(3, key);
  const int result = selectValue_.Step();
  LxStatus status;
  if (result == SQLITE_ROW) *value = selectValue_.ColumnBlob(0);
  else if (result == SQLITE_DONE) status = LxStatus::NotFound("no such key");
  else status = Failure("cannot read the value");
  selectValue_.Reset();
  return status;
}

LxStatus ConfigStore::SetValue(const std::string& set, const std::string& section, const std::string& key,
                               const std::string& value) {
  upsertValue_.BindBlob(1, set);
  upsertValue_.BindBlob(2, section);
  upsertValue_.BindBlob(3, key);
  upsertValue_.BindBlob(4, value);
  const int result = upsertValue_.Step();
  LxStatus status = result == SQLITE_DONE ? LxStatus::Ok() : Failure("cannot write the value");
  upsertValue_.Reset();
  if (status.ok()) changes_ += sqlite3_changes(database_);
  return status;
}

LxStatus ConfigStore::SetValues(const std::vector<ConfigRow>& rows) {
  std::uint64_t changed = 0;
  return WriteAll(&upsertValue_, rows, &changed);
}

LxStatus ConfigStore::AddMissing(const std::vector<ConfigRow>& rows, std::uint64_t* added) {
  return WriteAll(&insertDefault_, rows, added);
}

LxStatus ConfigStore::InTransaction(const char* what, const std::function<LxStatus()>& body) {
  const int began = begin_.Step();
  begin_.Reset();
  if (began != SQLITE_DONE) return Failure("cannot begin a transaction");
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

LxStatus ConfigStore::WriteAll(SqliteStatement* statement, const std::vector<ConfigRow>& rows,
                               std::uint64_t* changed) {
  std::uint64_t count = 0;
  LxStatus status = InTransaction("cannot commit", [&]() { return StepEach(statement, rows, &count); });
  *changed = status.ok() ? count : 0;
  if (status.ok()) changes_ += count;
  return status;
}

LxStatus ConfigStore::StepEach(SqliteStatement* statement, const std::vector<ConfigRow>& rows,
                               std::uint64_t* changed) {
  for (const ConfigRow& row : rows) {
    statement->BindBlob(1, row.set);
    statement->BindBlob(2, row.section);
    statement->BindBlob(3, row.key);
    statement->BindBlob(4, row.value);
    const int result = statement->Step();
    statement->Reset();
    if (result != SQLITE_DONE) return Failure("cannot write a value");
    *changed += sqlite3_changes(database_);
  }
  return LxStatus::Ok();
}

}  // namespace qet_cfgserver
