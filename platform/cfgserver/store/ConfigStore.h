#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cfgwire/Messages.h"
#include "common/ConfigTypes.h"
#include "common/LxStatus.h"
#include "store/SqliteStatement.h"

namespace qet_cfgserver {

// The configuration kept in an SQLite database: set -> section -> key ->
// value, all byte strings, any byte allowed. Every column a BLOB, so
// listings come back in plain ascending byte order.
//
// Two layers, kept materialised so that reads cost what they always did:
// table "config" holds what reads see, the effective value of every key;
// table "defaults" (same shape) the factory defaults that imports load. A
// key is an operator's change where the two differ: in config only (added),
// in both with other values (changed), in defaults only (deleted: the
// default is hidden until a reset). Both tables WITHOUT ROWID, primary key
// (set, section, key).
//
// The schema version is PRAGMA user_version (kSchemaVersion). A database of
// version 0 (one table, from before the defaults layer) is migrated at Open
// in one transaction: its rows stay in config and so count as the
// operator's. A newer version than this server knows is refused with
// Unavailable and never written.
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

  // Makes entries the defaults of set in one transaction (a first import,
  // or newer defaults from a firmware update). A key the operator has not
  // changed (as defined above) takes the new default, or leaves config when
  // the new defaults lack it; an operator's value or deletion stays. On
  // failure nothing of entries is kept. A repeated key takes its last value.
  LxStatus ImportDefaults(const std::string& set, const std::vector<ConfigEntry>& entries);
  // The same for rows of any set; *added counts the keys that were new.
  LxStatus AddMissing(const std::vector<ConfigRow>& rows, std::uint64_t* added);

  // Adds default rows that are missing, keys already there keeping their
  // values; recovery carries the defaults layer with it.
  LxStatus AddMissingDefaults(const std::vector<ConfigRow>& rows, std::uint64_t* added);

  // The operations on the layers. Each writing one is one transaction and
  // appends to *committed one record per key whose effective value it
  // changed (kValue with the new value, or kDeleted), in (set, section,
  // key) order: what watchers are told.
  //
  // Deletes the keys in scope from config; NotFound when none matched.
  LxStatus DeleteScope(const ConfigScope& scope, std::vector<wire::Record>* committed);
  // Config of scope becomes its defaults.
  LxStatus ResetScope(const ConfigScope& scope, std::vector<wire::Record>* committed);
  // Writes entries into set as the operator's values; with replace, the
  // set's keys become exactly these. A repeated key takes its last value.
  LxStatus ImportSet(const std::string& set, const std::vector<ConfigEntry>& entries, bool replace,
                     std::vector<wire::Record>* committed);
  // Every key of set with its effective value (kValue records, set left
  // empty), in section, key order.
  LxStatus ExportSet(const std::string& set, std::vector<wire::Record>* records);
  // Of those, the records after (afterSection, afterKey), in the same order,
  // as many as weigh maxBytes on the wire (wire::RecordWireBytes), at
  // least one: one piece of an export, read by a range scan of its own.
  LxStatus ExportPiece(const std::string& set, const std::string& afterSection, const std::string& afterKey,
                       std::size_t maxBytes, std::vector<wire::Record>* records);
  // The operator's changes within scope (kAdded, kChanged, kDeleted
  // records with value and defaultValue) in (set, section, key) order.
  LxStatus GetChanges(const ConfigScope& scope, std::vector<wire::Record>* changes);

  // Rows changed through this store since it was opened, either layer;
  // tells whether a snapshot would differ from the last one.
  std::uint64_t changes() const { return changes_ + defaultsChanges_; }
  // Of those, the rows of config (what reads see).
  std::uint64_t configChanges() const { return changes_; }

  static constexpr int kSchemaVersion = 2;

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
  LxStatus Migrate();
  // Runs body between BEGIN and COMMIT; rolls back when either fails.
  LxStatus InTransaction(const char* what, const std::function<LxStatus()>& body);
  LxStatus Run(const std::string& sql, const std::vector<const std::string*>& parameters);
  LxStatus SelectSet(const char* table, const std::string& set, std::vector<ConfigRow>* rows);
  LxStatus ReplaceDefaults(const std::string& set, const std::vector<ConfigRow>& rows);

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
  std::uint64_t defaultsChanges_ = 0;
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
