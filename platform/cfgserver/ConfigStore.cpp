#include "ConfigStore.h"

namespace qet_cfgserver {

namespace {

constexpr const char* kCreateTable =
    "CREATE TABLE IF NOT EXISTS config ("
    " set_name BLOB NOT NULL, section_name BLOB NOT NULL, key_name BLOB NOT NULL, value BLOB NOT NULL,"
    " PRIMARY KEY (set_name, section_name, key_name)) WITHOUT ROWID";

// Another process touching the database (a backup, say) gets this long
// before a statement fails.
constexpr int kBusyTimeoutMilliseconds = 5000;

struct StatementText {
  SqliteStatement ConfigStore::*statement;
  const char* sql;
};

}  // namespace

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
    std::string message = "cannot open database " + path + ": " +
                          (database != nullptr ? sqlite3_errmsg(database) : sqlite3_errstr(result));
    sqlite3_close_v2(database);
    return LxStatus::IoError(message);
  }
  std::unique_ptr<ConfigStore> opened(new ConfigStore(database));
  LxStatus status = opened->Initialise();
  if (!status.ok()) return LxStatus::IoError("database " + path + ": " + status.message());
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

  // journal_mode answers with the mode in force; a database that cannot use
  // WAL (some file systems) must not silently run without it.
  SqliteStatement journal;
  if (journal.Prepare(database_, "PRAGMA journal_mode=WAL") != SQLITE_OK || journal.Step() != SQLITE_ROW)
    return Failure("cannot set the journal mode");
  if (journal.ColumnBlob(0) != "wal") return LxStatus::IoError("the database cannot use a write-ahead log");

  LxStatus status = Execute("PRAGMA synchronous=FULL");
  if (status.ok()) status = Execute(kCreateTable);
  if (!status.ok()) return status;

  const StatementText statements[] = {
      {&ConfigStore::selectSets_, "SELECT DISTINCT set_name FROM config ORDER BY set_name"},
      {&ConfigStore::selectSections_,
       "SELECT DISTINCT section_name FROM config WHERE set_name = ?1 ORDER BY section_name"},
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
  if (sqlite3_exec(database_, sql, nullptr, nullptr, &error) == SQLITE_OK) return LxStatus::Ok();
  std::string message = std::string(sql) + ": " + (error != nullptr ? error : "failed");
  sqlite3_free(error);
  return LxStatus::IoError(message);
}

LxStatus ConfigStore::Failure(const char* what) const {
  return LxStatus::IoError(std::string(what) + ": " + sqlite3_errmsg(database_));
}

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
  return status;
}

LxStatus ConfigStore::ImportDefaults(const std::string& set, const std::vector<ConfigEntry>& entries) {
  const int began = begin_.Step();
  begin_.Reset();
  if (began != SQLITE_DONE) return Failure("cannot begin a transaction");
  LxStatus status = InsertAll(set, entries);
  if (status.ok()) {
    const int committed = commit_.Step();
    commit_.Reset();
    if (committed == SQLITE_DONE) return LxStatus::Ok();
    status = Failure("cannot commit the import");
  }
  rollback_.Step();
  rollback_.Reset();
  return status;
}

LxStatus ConfigStore::InsertAll(const std::string& set, const std::vector<ConfigEntry>& entries) {
  for (const ConfigEntry& entry : entries) {
    insertDefault_.BindBlob(1, set);
    insertDefault_.BindBlob(2, entry.section);
    insertDefault_.BindBlob(3, entry.key);
    insertDefault_.BindBlob(4, entry.value);
    const int result = insertDefault_.Step();
    insertDefault_.Reset();
    if (result != SQLITE_DONE) return Failure("cannot import a value");
  }
  return LxStatus::Ok();
}

}  // namespace qet_cfgserver
