#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "LxStatus.h"
#include "Messages.h"
#include "SqliteStatement.h"

namespace qet_cfgserver {

// One entry of a set, as an import supplies it.
struct ConfigEntry {
  std::string section;
  std::string key;
  std::string value;
};

// One stored value with its full name, as recovery moves it between files.
struct ConfigRow {
  std::string set;
  std::string section;
  std::string key;
  std::string value;
};

// The configuration kept in an SQLite database: set -> section -> key ->
// value, all byte strings, any byte allowed. One table, WITHOUT ROWID, primary
// key (set, section, key); every column a BLOB, so listings come back in
// plain ascending byte order.
//
// Durability: WAL journal with synchronous=FULL, and every write call is a
// committed transaction before it returns, so a write that returned
// OK survives a crash of the process or a power cut. The database is
// locked exclusively while open: one store, one process.
//
// Failures come back as LxStatus: Corruption when SQLite finds the file
// damaged (SQLITE_CORRUPT, SQLITE_NOTADB, or a failed quick_check at Open),
// Unavailable when another process holds the database, IoError otherwise.
//
// Statements are prepared once at Open. Not thread-safe: the server's single
// reactor thread owns it.
class ConfigStore {
 public:
  // Opens (creating if needed) the database at path and runs PRAGMA
  // quick_check before anything is written to it. The parent directory
  // must exist. vfs names a registered SQLite VFS (tests inject faults
  // through one); null means SQLite's default.
  static LxStatus Open(const std::string& path, std::unique_ptr<ConfigStore>* store, const char* vfs = nullptr);

  ~ConfigStore();

  ConfigStore(const ConfigStore&) = delete;
  ConfigStore& operator=(const ConfigStore&) = delete;

  // Distinct set names.
  LxStatus GetSets(std::vector<std::string>* sets);
  // Section names of set; empty for an unknown set.
  LxStatus GetSections(const std::string& set, std::vector<std::string>* sections);
  // Keys and values of set/section in key order; empty when unknown.
  LxStatus GetKeysAndValues(const std::string& set, const std::string& section, std::vector<wire::KeyValue>* pairs);
  // NotFound when the key does not exist.
  LxStatus GetValue(const std::string& set, const std::string& section, const std::string& key, std::string* value);

  // Inserts or replaces one value, creating the set, section and key.
  LxStatus SetValue(const std::string& set, const std::string& section, const std::string& key,
                    const std::string& value);
  // Inserts or replaces every row in one transaction, in order (a later row
  // for the same key wins): one sync for all. On failure none is kept.
  LxStatus SetValues(const std::vector<ConfigRow>& rows);

  // Adds entries to set in one transaction; keys that already exist keep
  // their values. On failure nothing of entries is kept.
  LxStatus ImportDefaults(const std::string& set, const std::vector<ConfigEntry>& entries);
  // The same for rows of any set; *added counts the keys that were new.
  LxStatus AddMissing(const std::vector<ConfigRow>& rows, std::uint64_t* added);

  // Rows changed through this store since it was opened; tells whether a
  // snapshot would differ from the last one.
  std::uint64_t changes() const { return changes_; }

  // Writes a consistent copy of the database to a new file at path (which
  // must not exist or be empty) with SQLite's online backup API, in
  // rollback-journal mode so it can be read without companion files, and
  // syncs it. vfs as for Open.
  LxStatus CopyTo(const std::string& path, const char* vfs) const;

  // Closing will leave the write-ahead log as it is instead of copying it
  // into the database file: a damaged file is not written again.
  void LeaveLogOnClose();

 private:
  explicit ConfigStore(sqlite3* database) : database_(database) {}

  LxStatus Initialise();
  LxStatus Execute(const char* sql);
  LxStatus Failure(const char* what) const;
  LxStatus ReadColumn(SqliteStatement* statement, std::vector<std::string>* names);
  // Steps statement once per row (bound as set, section, key, value) in one
  // transaction; *changed counts the rows it changed. All or nothing.
  LxStatus WriteAll(SqliteStatement* statement, const std::vector<ConfigRow>& rows, std::uint64_t* changed);
  LxStatus StepEach(SqliteStatement* statement, const std::vector<ConfigRow>& rows, std::uint64_t* changed);

  sqlite3* database_;
  SqliteStatement selectSets_;
  SqliteStatement selectSections_;
  SqliteStatement selectPairs_;
  SqliteStatement selectValue_;
  SqliteStatement upsertValue_;
  SqliteStatement insertDefault_;
  SqliteStatement begin_;
  SqliteStatement commit_;
  SqliteStatement rollback_;
  std::uint64_t changes_ = 0;
};

// The LxStatus for SQLite's result code (extended codes on) with message:
// Corruption for a damaged file, Unavailable for a database held elsewhere,
// IoError for the rest.
LxStatus SqliteFailure(int result, const std::string& message);

// PRAGMA quick_check on database: Ok, or Corruption with the start of what
// it found on one line.
LxStatus QuickCheck(sqlite3* database);

// status with "context: " in front of its message, its kind kept.
LxStatus WithContext(const std::string& context, const LxStatus& status);

}  // namespace qet_cfgserver
