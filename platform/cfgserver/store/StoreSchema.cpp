#include "store/StoreSchema.h"

#include <cstdint>
#include <string>

#include "store/StoreDatabase.h"

namespace qet_cfgserver {

namespace {

constexpr const char* kCreateConfig =
    "CREATE TABLE IF NOT EXISTS config ("
    " set_name BLOB NOT NULL, section_name BLOB NOT NULL, key_name BLOB NOT NULL, value BLOB NOT NULL,"
    " PRIMARY KEY (set_name, section_name, key_name)) WITHOUT ROWID";
constexpr const char* kCreateDefaults =
    "CREATE TABLE IF NOT EXISTS defaults ("
    " set_name BLOB NOT NULL, section_name BLOB NOT NULL, key_name BLOB NOT NULL, value BLOB NOT NULL,"
    " PRIMARY KEY (set_name, section_name, key_name)) WITHOUT ROWID";
// The packed keys last: reading the other columns never reads them.
constexpr const char* kCreateHistory =
    "CREATE TABLE IF NOT EXISTS history ("
    " revision INTEGER PRIMARY KEY, time INTEGER NOT NULL, uid INTEGER, user_name BLOB NOT NULL, pid INTEGER,"
    " program BLOB NOT NULL, client BLOB NOT NULL, tag BLOB NOT NULL, summary BLOB NOT NULL, keys INTEGER NOT NULL,"
    " changes BLOB NOT NULL)";
constexpr const char* kCreateRevisionState =
    "CREATE TABLE IF NOT EXISTS revision_state (highest INTEGER NOT NULL, confirm_base INTEGER,"
    " confirm_revision INTEGER, confirm_deadline INTEGER)";
constexpr const char* kStartRevisionState =
    "INSERT INTO revision_state (highest) SELECT 0 WHERE NOT EXISTS (SELECT 1 FROM revision_state)";

// The names of config's sections, kept by triggers in the transaction of
// every change to config, whichever statement makes it: listings read them
// with one range scan instead of one seek per name through config. A
// REPLACE removes no section (its delete fires no trigger) and adds none.
constexpr const char* kCreateSections =
    "CREATE TABLE IF NOT EXISTS sections ("
    " set_name BLOB NOT NULL, section_name BLOB NOT NULL, PRIMARY KEY (set_name, section_name)) WITHOUT ROWID";
// Only a new section is inserted: an INSERT OR IGNORE of one already listed
// still rewrites its page, a third page for every write to the flash.
// Version 4 had that trigger; it is replaced by dropping it first.
constexpr const char* kDropSectionAdded = "DROP TRIGGER IF EXISTS section_added";
constexpr const char* kCreateSectionAdded =
    "CREATE TRIGGER IF NOT EXISTS section_added AFTER INSERT ON config"
    " WHEN NOT EXISTS (SELECT 1 FROM sections WHERE set_name = NEW.set_name AND section_name = NEW.section_name)"
    " BEGIN INSERT INTO sections VALUES (NEW.set_name, NEW.section_name); END";
constexpr const char* kCreateSectionEmptied =
    "CREATE TRIGGER IF NOT EXISTS section_emptied AFTER DELETE ON config"
    " WHEN NOT EXISTS (SELECT 1 FROM config WHERE set_name = OLD.set_name AND section_name = OLD.section_name)"
    " BEGIN DELETE FROM sections WHERE set_name = OLD.set_name AND section_name = OLD.section_name; END";
// A database from before the table: its sections, once.
constexpr const char* kFillSections =
    "INSERT OR IGNORE INTO sections SELECT DISTINCT set_name, section_name FROM config";

LxStatus ReadVersion(StoreDatabase* database, std::int64_t* version) {
  SqliteStatement statement;
  LxStatus status = database->Prepare(&statement, "PRAGMA user_version");
  if (!status.ok()) return status;
  // Reset when read: a statement in progress would keep the migration from committing.
  return database->Query(&statement, "cannot read the schema version",
                         [version](const SqliteStatement& row) { *version = row.ColumnInt(0); });
}

}  // namespace

LxStatus StoreSchema::Apply(StoreDatabase* database) {
  std::int64_t found = 0;
  LxStatus status = ReadVersion(database, &found);
  if (!status.ok()) return status;
  if (found == kVersion) return LxStatus::Ok();
  if (found > kVersion)
    return LxStatus::Unavailable("schema version " + std::to_string(found) + " is newer than this server's (" +
                                 std::to_string(kVersion) + "); the database is left untouched");
  // Every older version lacks some of these and has the rest as they are:
  // creating what is missing migrates it.
  return database->InTransaction("cannot commit the schema", [database]() {
    LxStatus created;
    for (const char* sql : {kCreateConfig, kCreateDefaults, kCreateSections, kDropSectionAdded, kCreateSectionAdded,
                            kCreateSectionEmptied, kFillSections, kCreateHistory, kCreateRevisionState,
                            kStartRevisionState}) {
      if (created.ok()) created = database->Execute(sql);
    }
    if (created.ok()) created = database->Execute("PRAGMA user_version = " + std::to_string(kVersion));
    return created;
  });
}

}  // namespace qet_cfgserver
