// ConfigStore's two layers: the schema migration, the defaults imports and
// the operations that compare or move keys between config and defaults.
// These run seldom (an operator's tool, a start), so their statements are
// prepared per call, shaped by the scope they cover.

#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <utility>

#include "store/ConfigStore.h"

namespace qet_cfgserver {

namespace {

constexpr const char* kCreateDefaultsTable =
    "CREATE TABLE IF NOT EXISTS defaults ("
    " set_name BLOB NOT NULL, section_name BLOB NOT NULL, key_name BLOB NOT NULL, value BLOB NOT NULL,"
    " PRIMARY KEY (set_name, section_name, key_name)) WITHOUT ROWID";

using Parameters = std::vector<const std::string*>;
using KeyName = std::pair<std::string, std::string>;  // section, key
using KeyValues = std::map<KeyName, std::string>;

// "1 AND <alias>set_name = ?1 ..." for the names the level needs.
std::string ScopeCondition(ConfigScope::Level level, const std::string& alias) {
  static const char* const kColumns[] = {"set_name", "section_name", "key_name"};
  std::string condition = "1";
  for (int index = 0; index < static_cast<int>(level); ++index)
    condition += " AND " + alias + kColumns[index] + " = ?" + std::to_string(index + 1);
  return condition;
}

Parameters ScopeParameters(const ConfigScope& scope) {
  const Parameters names = {&scope.set, &scope.section, &scope.key};
  return Parameters(names.begin(), names.begin() + static_cast<int>(scope.level));
}

LxStatus Prepared(sqlite3* database, const std::string& sql, const Parameters& parameters,
                  SqliteStatement* statement) {
  if (statement->Prepare(database, sql.c_str()) != SQLITE_OK)
    return SqliteFailure(sqlite3_extended_errcode(database), "cannot prepare a statement: " +
                                                                 std::string(sqlite3_errmsg(database)));
  for (std::size_t index = 0; index < parameters.size(); ++index)
    statement->BindBlob(static_cast<int>(index + 1), *parameters[index]);
  return LxStatus::Ok();
}

// Steps sql to its end, handing each row to onRow.
template <typename OnRow>
LxStatus Query(sqlite3* database, const std::string& sql, const Parameters& parameters, OnRow onRow) {
  SqliteStatement statement;
  LxStatus status = Prepared(database, sql, parameters, &statement);
  if (!status.ok()) return status;
  int result;
  while ((result = statement.Step()) == SQLITE_ROW) onRow(statement);
  if (result == SQLITE_DONE) return LxStatus::Ok();
  return SqliteFailure(sqlite3_extended_errcode(database), std::string("cannot read: ") + sqlite3_errmsg(database));
}

KeyValues ByKey(const std::vector<ConfigRow>& rows) {
  KeyValues values;
  for (const ConfigRow& row : rows) values[{row.section, row.key}] = row.value;
  return values;
}

KeyValues ByKey(const std::vector<ConfigEntry>& entries) {
  KeyValues values;
  for (const ConfigEntry& entry : entries) values[{entry.section, entry.key}] = entry.value;
  return values;
}

wire::Record Committed(const std::string& set, const KeyName& name, const std::string* value) {
  wire::Record record;
  record.kind = value != nullptr ? wire::RecordKind::kValue : wire::RecordKind::kDeleted;
  record.set = set;
  record.section = name.first;
  record.key = name.second;
  if (value != nullptr) record.value = *value;
  return record;
}

void SortByName(std::vector<wire::Record>* records) {
  std::sort(records->begin(), records->end(), [](const wire::Record& left, const wire::Record& right) {
    return std::tie(left.set, left.section, left.key) < std::tie(right.set, right.section, right.key);
  });
}

}  // namespace

LxStatus ConfigStore::Migrate() {
  SqliteStatement version;
  if (version.Prepare(database_, "PRAGMA user_version") != SQLITE_OK || version.Step() != SQLITE_ROW)
    return Failure("cannot read the schema version");
  const std::int64_t found = version.ColumnInt(0);
  version.Reset();  // a statement in progress would keep the migration from committing
  if (found == kSchemaVersion) return LxStatus::Ok();
  if (found > kSchemaVersion)
    return LxStatus::Unavailable("schema version " + std::to_string(found) + " is newer than this server's (" +
                                 std::to_string(kSchemaVersion) + "); the database is left untouched");
  // Version 0: the one table of before; its rows become the operator's.
  const std::string migration = std::string("BEGIN IMMEDIATE; ") + kCreateDefaultsTable +
                                "; PRAGMA user_version = " + std::to_string(kSchemaVersion) + "; COMMIT";
  LxStatus status = Execute(migration.c_str());
  if (!status.ok()) Execute("ROLLBACK");
  return status;
}

LxStatus ConfigStore::Run(const std::string& sql, const Parameters& parameters) {
  return Query(database_, sql, parameters, [](const SqliteStatement&) {});
}

LxStatus ConfigStore::SelectSet(const char* table, const std::string& set, std::vector<ConfigRow>* rows) {
  return Query(database_,
               std::string("SELECT section_name, key_name, value FROM ") + table +
                   " WHERE set_name = ?1 ORDER BY section_name, key_name",
               {&set}, [&](const SqliteStatement& row) {
                 rows->push_back(ConfigRow{set, row.ColumnBlob(0), row.ColumnBlob(1), row.ColumnBlob(2)});
               });
}

LxStatus ConfigStore::ReplaceDefaults(const std::string& set, const std::vector<ConfigRow>& rows) {
  LxStatus status = Run("DELETE FROM defaults WHERE set_name = ?1", {&set});
  for (std::size_t index = 0; status.ok() && index < rows.size(); ++index)
    status = Run("INSERT OR REPLACE INTO defaults VALUES (?1, ?2, ?3, ?4)",
                 {&rows[index].set, &rows[index].section, &rows[index].key, &rows[index].value});
  return status;
}

LxStatus ConfigStore::ImportDefaults(const std::string& set, const std::vector<ConfigEntry>& entries) {
  std::vector<wire::Record> committed;
  std::vector<ConfigRow> newRows;
  const KeyValues fresh = ByKey(entries);
  for (const auto& [name, value] : fresh) newRows.push_back(ConfigRow{set, name.first, name.second, value});
  bool defaultsDiffer = false;
  LxStatus status = InTransaction("cannot commit the import", [&]() {
    std::vector<ConfigRow> oldRows, configRows;
    LxStatus read = SelectSet("defaults", set, &oldRows);
    if (read.ok()) read = SelectSet("config", set, &configRows);
    if (!read.ok()) return read;
    const KeyValues old = ByKey(oldRows), config = ByKey(configRows);
    std::set<KeyName> names;
    for (const auto& entry : fresh) names.insert(entry.first);
    for (const auto& entry : old) names.insert(entry.first);
    for (const KeyName& name : names) {
      const auto current = config.find(name), previous = old.find(name), next = fresh.find(name);
      const bool inConfig = current != config.end(), inOld = previous != old.end();
      // The operator's value or deletion stays; untouched keys follow the factory.
      const bool untouched = inConfig == inOld && (!inConfig || current->second == previous->second);
      if (!untouched) continue;
      LxStatus written;
      if (next != fresh.end() && (!inConfig || current->second != next->second)) {
        written = Run("INSERT OR REPLACE INTO config VALUES (?1, ?2, ?3, ?4)",
                      {&set, &name.first, &name.second, &next->second});
        committed.push_back(Committed(set, name, &next->second));
      } else if (next == fresh.end() && inConfig) {
        written = Run("DELETE FROM config WHERE set_name = ?1 AND section_name = ?2 AND key_name = ?3",
                      {&set, &name.first, &name.second});
        committed.push_back(Committed(set, name, nullptr));
      }
      if (!written.ok()) return written;
    }
    defaultsDiffer = old != fresh;
    return defaultsDiffer ? ReplaceDefaults(set, newRows) : LxStatus::Ok();
  });
  if (!status.ok()) return status;
  changes_ += committed.size();
  if (defaultsDiffer) defaultsChanges_ += newRows.size() + 1;
  return status;
}

LxStatus ConfigStore::AddMissingDefaults(const std::vector<ConfigRow>& rows, std::uint64_t* added) {
  *added = 0;
  LxStatus status = InTransaction("cannot commit the defaults", [&]() {
    for (const ConfigRow& row : rows) {
      LxStatus inserted =
          Run("INSERT OR IGNORE INTO defaults VALUES (?1, ?2, ?3, ?4)", {&row.set, &row.section, &row.key, &row.value});
      if (!inserted.ok()) return inserted;
      *added += sqlite3_changes(database_);
    }
    return LxStatus::Ok();
  });
  if (status.ok()) defaultsChanges_ += *added;
  return status;
}

LxStatus ConfigStore::DeleteScope(const ConfigScope& scope, std::vector<wire::Record>* committed) {
  const std::string condition = ScopeCondition(scope.level, "");
  const Parameters parameters = ScopeParameters(scope);
  std::vector<wire::Record> deleted;
  LxStatus status = InTransaction("cannot commit the delete", [&]() {
    LxStatus read = Query(database_,
                          "SELECT set_name, section_name, key_name FROM config WHERE " + condition + " ORDER BY 1, 2, 3",
                          parameters, [&](const SqliteStatement& row) {
                            deleted.push_back(Committed(row.ColumnBlob(0), {row.ColumnBlob(1), row.ColumnBlob(2)}, nullptr));
                          });
    if (!read.ok()) return read;
    if (deleted.empty()) return LxStatus::NotFound("nothing to delete");
    return Run("DELETE FROM config WHERE " + condition, parameters);
  });
  if (!status.ok()) return status;
  changes_ += deleted.size();
  committed->insert(committed->end(), deleted.begin(), deleted.end());
  return status;
}

LxStatus ConfigStore::GetChanges(const ConfigScope& scope, std::vector<wire::Record>* changes) {
  const Parameters parameters = ScopeParameters(scope);
  const std::string sql =
      "SELECT c.set_name, c.section_name, c.key_name, c.value, d.value, CASE WHEN d.value IS NULL THEN 1 ELSE 2 END"
      " FROM config c LEFT JOIN defaults d USING (set_name, section_name, key_name)"
      " WHERE " + ScopeCondition(scope.level, "c.") + " AND (d.value IS NULL OR d.value <> c.value)"
      " UNION ALL"
      " SELECT d.set_name, d.section_name, d.key_name, X'', d.value, 3 FROM defaults d"
      " WHERE " + ScopeCondition(scope.level, "d.") +
      " AND NOT EXISTS (SELECT 1 FROM config c WHERE c.set_name = d.set_name AND c.section_name = d.section_name"
      " AND c.key_name = d.key_name)"
      " ORDER BY 1, 2, 3";
  return Query(database_, sql, parameters, [&](const SqliteStatement& row) {
    wire::Record change;
    change.set = row.ColumnBlob(0);
    change.section = row.ColumnBlob(1);
    change.key = row.ColumnBlob(2);
    change.value = row.ColumnBlob(3);
    change.defaultValue = row.ColumnBlob(4);
    change.kind = static_cast<wire::RecordKind>(row.ColumnInt(5));
    changes->push_back(std::move(change));
  });
}

LxStatus ConfigStore::ResetScope(const ConfigScope& scope, std::vector<wire::Record>* committed) {
  const std::string condition = ScopeCondition(scope.level, "");
  const Parameters parameters = ScopeParameters(scope);
  std::vector<wire::Record> changed;
  LxStatus status = InTransaction("cannot commit the reset", [&]() {
    LxStatus done = GetChanges(scope, &changed);
    if (done.ok()) done = Run("DELETE FROM config WHERE " + condition, parameters);
    if (done.ok())
      done = Run("INSERT INTO config SELECT set_name, section_name, key_name, value FROM defaults WHERE " + condition,
                 parameters);
    return done;
  });
  if (!status.ok()) return status;
  for (const wire::Record& change : changed) {
    const bool backToDefault = change.kind != wire::RecordKind::kAdded;
    committed->push_back(
        Committed(change.set, {change.section, change.key}, backToDefault ? &change.defaultValue : nullptr));
  }
  changes_ += changed.size();
  return status;
}

LxStatus ConfigStore::ImportSet(const std::string& set, const std::vector<ConfigEntry>& entries, bool replace,
                                std::vector<wire::Record>* committed) {
  const KeyValues wanted = ByKey(entries);
  std::vector<wire::Record> changed;
  LxStatus status = InTransaction("cannot commit the import", [&]() {
    std::vector<ConfigRow> rows;
    LxStatus done = SelectSet("config", set, &rows);
    const KeyValues old = ByKey(rows);
    if (done.ok() && replace) {
      done = Run("DELETE FROM config WHERE set_name = ?1", {&set});
      for (const auto& entry : old)
        if (wanted.count(entry.first) == 0) changed.push_back(Committed(set, entry.first, nullptr));
    }
    for (auto entry = wanted.begin(); done.ok() && entry != wanted.end(); ++entry) {
      done = Run("INSERT OR REPLACE INTO config VALUES (?1, ?2, ?3, ?4)",
                 {&set, &entry->first.first, &entry->first.second, &entry->second});
      const auto before = old.find(entry->first);
      if (before == old.end() || before->second != entry->second)
        changed.push_back(Committed(set, entry->first, &entry->second));
    }
    return done;
  });
  if (!status.ok()) return status;
  SortByName(&changed);
  changes_ += changed.size();
  committed->insert(committed->end(), changed.begin(), changed.end());
  return status;
}

LxStatus ConfigStore::ExportPiece(const std::string& set, const std::string& afterSection, const std::string& afterKey,
                                  std::size_t maxBytes, std::vector<wire::Record>* records) {
  SqliteStatement statement;
  LxStatus status = Prepared(database_,
                             "SELECT section_name, key_name, value FROM config"
                             " WHERE set_name = ?1 AND (section_name, key_name) > (?2, ?3)"
                             " ORDER BY section_name, key_name",
                             {&set, &afterSection, &afterKey}, &statement);
  if (!status.ok()) return status;
  std::size_t bytes = 0;
  int result;
  while ((result = statement.Step()) == SQLITE_ROW) {
    wire::Record record;
    record.section = statement.ColumnBlob(0);
    record.key = statement.ColumnBlob(1);
    record.value = statement.ColumnBlob(2);
    bytes += wire::RecordWireBytes(record);
    if (bytes > maxBytes && !records->empty()) return LxStatus::Ok();
    records->push_back(std::move(record));
  }
  if (result == SQLITE_DONE) return LxStatus::Ok();
  return SqliteFailure(sqlite3_extended_errcode(database_), std::string("cannot read: ") + sqlite3_errmsg(database_));
}

LxStatus ConfigStore::ExportSet(const std::string& set, std::vector<wire::Record>* records) {
  std::vector<ConfigRow> rows;
  LxStatus status = SelectSet("config", set, &rows);
  if (!status.ok()) return status;
  for (ConfigRow& row : rows) {
    wire::Record record;
    record.section = std::move(row.section);
    record.key = std::move(row.key);
    record.value = std::move(row.value);
    records->push_back(std::move(record));
  }
  return status;
}

}  // namespace qet_cfgserver
