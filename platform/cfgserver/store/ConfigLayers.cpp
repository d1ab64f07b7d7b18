#include "store/ConfigLayers.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <utility>

#include "store/HistoryReader.h"
#include "store/RevisionLog.h"
#include "store/StoreDatabase.h"

namespace qet_cfgserver {

namespace {

constexpr int kScopeLevels = static_cast<int>(ConfigScope::Level::kKey) + 1;

constexpr const char* kSelectConfigSet =
    "SELECT section_name, key_name, value FROM config WHERE set_name = ?1 ORDER BY section_name, key_name";
constexpr const char* kSelectConfigPiece =
    "SELECT section_name, key_name, value FROM config WHERE set_name = ?1 AND (section_name, key_name) > (?2, ?3)"
    " ORDER BY section_name, key_name";
constexpr const char* kSelectDefaultsSet =
    "SELECT section_name, key_name, value FROM defaults WHERE set_name = ?1 ORDER BY section_name, key_name";
constexpr const char* kUpsertConfig = "INSERT OR REPLACE INTO config VALUES (?1, ?2, ?3, ?4)";
constexpr const char* kDeleteDefaultsSet = "DELETE FROM defaults WHERE set_name = ?1";
constexpr const char* kUpsertDefault = "INSERT OR REPLACE INTO defaults VALUES (?1, ?2, ?3, ?4)";

// "1 AND <alias>set_name = ?1 ..." for the names level needs, bound in
// that order.
std::string ScopeCondition(int level, const std::string& alias) {
  static const char* const kColumns[] = {"set_name", "section_name", "key_name"};
  std::string condition = "1";
  for (int index = 0; index < level; ++index)
    condition += " AND " + alias + kColumns[index] + " = ?" + std::to_string(index + 1);
  return condition;
}

std::string SelectKeysSql(int level) {
  return "SELECT set_name, section_name, key_name, value FROM config WHERE " + ScopeCondition(level, "") +
         " ORDER BY 1, 2, 3";
}

std::string DeleteConfigSql(int level) { return "DELETE FROM config WHERE " + ScopeCondition(level, ""); }

std::string RestoreDefaultsSql(int level) {
  return "INSERT INTO config SELECT set_name, section_name, key_name, value FROM defaults WHERE " +
         ScopeCondition(level, "");
}

// Added and changed keys (kinds 1 and 2: in config without a default, or
// with another one), then deleted ones (3: a default that config lacks).
std::string SelectChangesSql(int level) {
  return "SELECT c.set_name, c.section_name, c.key_name, c.value, d.value,"
         " CASE WHEN d.value IS NULL THEN 1 ELSE 2 END"
         " FROM config c LEFT JOIN defaults d USING (set_name, section_name, key_name)"
         " WHERE " + ScopeCondition(level, "c.") + " AND (d.value IS NULL OR d.value <> c.value)"
         " UNION ALL"
         " SELECT d.set_name, d.section_name, d.key_name, X'', d.value, 3 FROM defaults d"
         " WHERE " + ScopeCondition(level, "d.") +
         " AND NOT EXISTS (SELECT 1 FROM config c WHERE c.set_name = d.set_name AND c.section_name = d.section_name"
         " AND c.key_name = d.key_name)"
         " ORDER BY 1, 2, 3";
}

using KeyName = std::pair<std::string, std::string>;  // section, key
using KeyValues = std::map<KeyName, std::string>;

void BindScope(SqliteStatement* statement, const ConfigScope& scope) {
  const std::string* const names[] = {&scope.set, &scope.section, &scope.key};
  for (int index = 0; index < static_cast<int>(scope.level); ++index) statement->BindBlob(index + 1, *names[index]);
}

LxStatus SelectSet(StoreDatabase* database, SqliteStatement* select, const std::string& set,
                   std::vector<ConfigRow>* rows) {
  select->BindBlobs(set);
  return database->Query(select, "cannot read a set", [&](const SqliteStatement& row) {
    rows->push_back(ConfigRow{set, row.ColumnBlob(0), row.ColumnBlob(1), row.ColumnBlob(2)});
  });
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

// The value of name in values, absent when it has none.
std::optional<std::string> ValueIn(const KeyValues& values, const KeyName& name) {
  const auto found = values.find(name);
  if (found == values.end()) return std::nullopt;
  return found->second;
}

void SortByName(std::vector<KeyChange>* changes) {
  std::sort(changes->begin(), changes->end(), [](const KeyChange& left, const KeyChange& right) {
    return std::tie(left.set, left.section, left.key) < std::tie(right.set, right.section, right.key);
  });
}

LxStatus UnknownLevel(const ConfigScope& scope) {
  return LxStatus::InvalidArgument("unknown scope level " + std::to_string(static_cast<std::uint32_t>(scope.level)));
}

}  // namespace

// What the scoped operations run, for one level.
struct ConfigLayers::ScopeStatements {
  SqliteStatement selectKeys;
  SqliteStatement deleteConfig;
  SqliteStatement restoreDefaults;
  SqliteStatement selectChanges;
};

struct ConfigLayers::Statements {
  SqliteStatement selectConfigSet;
  SqliteStatement selectConfigPiece;
  SqliteStatement selectDefaultsSet;
  SqliteStatement upsertConfig;
  SqliteStatement deleteDefaultsSet;
  SqliteStatement upsertDefault;
  ScopeStatements byLevel[kScopeLevels];
};

ConfigLayers::ConfigLayers(StoreDatabase* database, RevisionLog* revisions, HistoryReader* history)
    : database_(database), revisions_(revisions), history_(history), statements_(new Statements) {}

ConfigLayers::~ConfigLayers() = default;

LxStatus ConfigLayers::Create(StoreDatabase* database, RevisionLog* revisions, HistoryReader* history,
                              std::unique_ptr<ConfigLayers>* layers) {
  std::unique_ptr<ConfigLayers> created(new ConfigLayers(database, revisions, history));
  Statements* statements = created->statements_.get();
  std::vector<std::pair<SqliteStatement*, std::string>> texts = {
      {&statements->selectConfigSet, kSelectConfigSet},     {&statements->selectConfigPiece, kSelectConfigPiece},
      {&statements->selectDefaultsSet, kSelectDefaultsSet},
      {&statements->upsertConfig, kUpsertConfig},           {&statements->deleteDefaultsSet, kDeleteDefaultsSet},
      {&statements->upsertDefault, kUpsertDefault},
  };
  for (int level = 0; level < kScopeLevels; ++level) {
    ScopeStatements& scoped = statements->byLevel[level];
    texts.insert(texts.end(), {{&scoped.selectKeys, SelectKeysSql(level)},
                               {&scoped.deleteConfig, DeleteConfigSql(level)},
                               {&scoped.restoreDefaults, RestoreDefaultsSql(level)},
                               {&scoped.selectChanges, SelectChangesSql(level)}});
  }
  for (const auto& [statement, sql] : texts) {
    LxStatus status = database->Prepare(statement, sql);
    if (!status.ok()) return status;
  }
  *layers = std::move(created);
  return LxStatus::Ok();
}

ConfigLayers::ScopeStatements* ConfigLayers::ForScope(const ConfigScope& scope) {
  const auto level = static_cast<std::uint32_t>(scope.level);
  if (level >= static_cast<std::uint32_t>(kScopeLevels)) return nullptr;
  return &statements_->byLevel[level];
}

LxStatus ConfigLayers::CommitRevision(const char* what, const ChangeNote& note, CommittedRevision* made,
                                      const std::function<LxStatus(std::vector<KeyChange>* changes)>& body) {
  CommittedRevision committed;
  LxStatus status = database_->InTransaction(what, [&]() {
    std::vector<KeyChange> changes;
    LxStatus done = body(&changes);
    if (done.ok()) done = revisions_->Record(note, std::move(changes), &committed);
    return done;
  });
  if (!status.ok()) return status;
  database_->CountConfigChanges(committed.changes.size());
  *made = std::move(committed);
  return status;
}

LxStatus ConfigLayers::Apply(const KeyChange& change) {
  if (change.after) {
    statements_->upsertConfig.BindBlobs(change.set, change.section, change.key, *change.after);
    return database_->Run(&statements_->upsertConfig, "cannot write a value");
  }
  ScopeStatements& byKey = statements_->byLevel[static_cast<int>(ConfigScope::Level::kKey)];
  byKey.deleteConfig.BindBlobs(change.set, change.section, change.key);
  return database_->Run(&byKey.deleteConfig, "cannot delete a value");
}

LxStatus ConfigLayers::ReplaceDefaults(const std::string& set, const std::vector<ConfigRow>& rows) {
  statements_->deleteDefaultsSet.BindBlobs(set);
  LxStatus status = database_->Run(&statements_->deleteDefaultsSet, "cannot replace the defaults");
  for (std::size_t index = 0; status.ok() && index < rows.size(); ++index) {
    statements_->upsertDefault.BindBlobs(rows[index].set, rows[index].section, rows[index].key, rows[index].value);
    status = database_->Run(&statements_->upsertDefault, "cannot write a default");
  }
  return status;
}

LxStatus ConfigLayers::ImportDefaults(const std::string& set, const std::vector<ConfigEntry>& entries,
                                      const ChangeNote& note, CommittedRevision* made) {
  std::vector<ConfigRow> newRows;
  const KeyValues fresh = ByKey(entries);
  for (const auto& [name, value] : fresh) newRows.push_back(ConfigRow{set, name.first, name.second, value});
  bool defaultsDiffer = false;
  LxStatus status = CommitRevision("cannot commit the import", note, made, [&](std::vector<KeyChange>* changes) {
    std::vector<ConfigRow> oldRows, configRows;
    LxStatus read = SelectSet(database_, &statements_->selectDefaultsSet, set, &oldRows);
    if (read.ok()) read = SelectSet(database_, &statements_->selectConfigSet, set, &configRows);
    if (!read.ok()) return read;
    const KeyValues old = ByKey(oldRows), config = ByKey(configRows);
    std::set<KeyName> names;
    for (const auto& entry : fresh) names.insert(entry.first);
    for (const auto& entry : old) names.insert(entry.first);
    for (const KeyName& name : names) {
      const std::optional<std::string> current = ValueIn(config, name), next = ValueIn(fresh, name);
      // The operator's value or deletion stays; untouched keys follow the factory.
      if (current != ValueIn(old, name) || current == next) continue;
      changes->push_back(KeyChange{set, name.first, name.second, current, next});
      LxStatus written = Apply(changes->back());
      if (!written.ok()) return written;
    }
    defaultsDiffer = old != fresh;
    return defaultsDiffer ? ReplaceDefaults(set, newRows) : LxStatus::Ok();
  });
  // One more, so that new defaults of none still count: the old ones went.
  if (status.ok() && defaultsDiffer) database_->CountDefaultsChanges(newRows.size() + 1);
  return status;
}

LxStatus ConfigLayers::DeleteScope(const ConfigScope& scope, const ChangeNote& note, CommittedRevision* made) {
  ScopeStatements* scoped = ForScope(scope);
  if (scoped == nullptr) return UnknownLevel(scope);
  return CommitRevision("cannot commit the delete", note, made, [&](std::vector<KeyChange>* changes) {
    BindScope(&scoped->selectKeys, scope);
    LxStatus read = database_->Query(&scoped->selectKeys, "cannot read the keys", [&](const SqliteStatement& row) {
      changes->push_back(KeyChange{row.ColumnBlob(0), row.ColumnBlob(1), row.ColumnBlob(2), row.ColumnBlob(3),
                                   std::nullopt});
    });
    if (!read.ok()) return read;
    if (changes->empty()) return LxStatus::NotFound("nothing to delete");
    BindScope(&scoped->deleteConfig, scope);
    return database_->Run(&scoped->deleteConfig, "cannot delete");
  });
}

LxStatus ConfigLayers::GetChanges(const ConfigScope& scope, std::vector<wire::Record>* changes) {
  ScopeStatements* scoped = ForScope(scope);
  if (scoped == nullptr) return UnknownLevel(scope);
  BindScope(&scoped->selectChanges, scope);
  return database_->Query(&scoped->selectChanges, "cannot read the changes", [&](const SqliteStatement& row) {
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

LxStatus ConfigLayers::ResetScope(const ConfigScope& scope, const ChangeNote& note, CommittedRevision* made) {
  ScopeStatements* scoped = ForScope(scope);
  if (scoped == nullptr) return UnknownLevel(scope);
  return CommitRevision("cannot commit the reset", note, made, [&](std::vector<KeyChange>* changes) {
    std::vector<wire::Record> differing;
    LxStatus done = GetChanges(scope, &differing);
    if (done.ok()) {
      BindScope(&scoped->deleteConfig, scope);
      done = database_->Run(&scoped->deleteConfig, "cannot delete");
    }
    if (done.ok()) {
      BindScope(&scoped->restoreDefaults, scope);
      done = database_->Run(&scoped->restoreDefaults, "cannot restore the defaults");
    }
    for (const wire::Record& key : differing) {
      KeyChange change{key.set, key.section, key.key, key.value, key.defaultValue};
      if (key.kind == wire::RecordKind::kAdded) change.after.reset();
      if (key.kind == wire::RecordKind::kDeleted) change.before.reset();
      changes->push_back(std::move(change));
    }
    return done;
  });
}

LxStatus ConfigLayers::ImportSet(const std::string& set, const std::vector<ConfigEntry>& entries, bool replace,
                                 const ChangeNote& note, CommittedRevision* made) {
  const KeyValues wanted = ByKey(entries);
  return CommitRevision("cannot commit the import", note, made, [&](std::vector<KeyChange>* changes) {
    std::vector<ConfigRow> rows;
    LxStatus done = SelectSet(database_, &statements_->selectConfigSet, set, &rows);
    const KeyValues old = ByKey(rows);
    for (auto entry = old.begin(); done.ok() && replace && entry != old.end(); ++entry) {
      if (wanted.count(entry->first) != 0) continue;
      changes->push_back(KeyChange{set, entry->first.first, entry->first.second, entry->second, std::nullopt});
      done = Apply(changes->back());
    }
    for (auto entry = wanted.begin(); done.ok() && entry != wanted.end(); ++entry) {
      const std::optional<std::string> before = ValueIn(old, entry->first);
      if (before == entry->second) continue;
      changes->push_back(KeyChange{set, entry->first.first, entry->first.second, before, entry->second});
      done = Apply(changes->back());
    }
    SortByName(changes);
    return done;
  });
}

LxStatus ConfigLayers::RollBackTo(std::uint64_t revision, const ChangeNote& note, CommittedRevision* made) {
  return CommitRevision("cannot commit the rollback", note, made, [&](std::vector<KeyChange>* changes) {
    std::uint64_t current = 0;
    LxStatus done = revisions_->Current(&current);
    // What differs between now and revision, now first: applying it turns
    // every key back.
    if (done.ok()) done = history_->Differences(current, revision, ConfigScope{}, changes);
    for (auto change = changes->begin(); done.ok() && change != changes->end(); ++change) done = Apply(*change);
    return done;
  });
}

LxStatus ConfigLayers::CancelPending(const ChangeNote& note, CommittedRevision* made) {
  return CommitRevision("cannot commit the rollback", note, made, [&](std::vector<KeyChange>* changes) {
    std::optional<PendingConfirmation> pending;
    std::uint64_t current = 0;
    LxStatus done = revisions_->Pending(&pending);
    if (done.ok() && !pending) return LxStatus::NotFound("no change awaits confirmation");
    if (done.ok()) done = revisions_->Current(&current);
    if (done.ok()) done = history_->Differences(current, pending->base, ConfigScope{}, changes);
    for (auto change = changes->begin(); done.ok() && change != changes->end(); ++change) done = Apply(*change);
    if (done.ok()) done = revisions_->ClearPending();
    return done;
  });
}

LxStatus ConfigLayers::ExportSet(const std::string& set, std::vector<wire::Record>* records) {
  std::vector<ConfigRow> rows;
  LxStatus status = SelectSet(database_, &statements_->selectConfigSet, set, &rows);
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

LxStatus ConfigLayers::ExportPiece(const std::string& set, const std::string& afterSection,
                                  const std::string& afterKey, std::size_t maxBytes,
                                  std::vector<wire::Record>* records) {
  SqliteStatement* select = &statements_->selectConfigPiece;
  select->BindBlobs(set, afterSection, afterKey);
  std::size_t bytes = 0;
  int result;
  while ((result = select->Step()) == SQLITE_ROW) {
    wire::Record record;
    record.section = select->ColumnBlob(0);
    record.key = select->ColumnBlob(1);
    record.value = select->ColumnBlob(2);
    bytes += wire::RecordWireBytes(record);
    if (bytes > maxBytes && !records->empty()) break;  // the piece is full
    records->push_back(std::move(record));
  }
  const bool read = result == SQLITE_ROW || result == SQLITE_DONE;
  const LxStatus status = read ? LxStatus::Ok() : database_->Failure("cannot read a piece of a set");
  select->Reset();
  return status;
}

}  // namespace qet_cfgserver
