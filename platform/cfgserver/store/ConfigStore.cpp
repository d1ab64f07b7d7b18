#include "store/ConfigStore.h"

#include <sqlite3.h>

#include "store/StatusContext.h"
#include "store/StoreDatabase.h"
#include "store/StoreSchema.h"
#include "store/ValueCache.h"

namespace qet_cfgserver {

namespace {

// Listings read the sections table (kept with config by triggers, see
// StoreSchema). Sets skip over its primary key: one seek for the first
// name, then one per following name (the least one greater than the last),
// so they cost the sets listed, not their sections. Names are never NULL,
// so NULL ends the walk; rows come out in the order they were found:
// ascending. A set's sections are one range scan.
constexpr const char* kSelectSets =
    "WITH RECURSIVE names(name) AS ("
    " SELECT (SELECT min(set_name) FROM sections)"
    " UNION ALL"
    " SELECT (SELECT set_name FROM sections WHERE set_name > names.name ORDER BY set_name LIMIT 1)"
    " FROM names WHERE names.name IS NOT NULL)"
    " SELECT name FROM names WHERE name IS NOT NULL";
constexpr const char* kSelectSections =
    "SELECT section_name FROM sections WHERE set_name = ?1 ORDER BY section_name";
constexpr const char* kSelectPairs =
    "SELECT key_name, value FROM config WHERE set_name = ?1 AND section_name = ?2 ORDER BY key_name";
constexpr const char* kSelectValue =
    "SELECT value FROM config WHERE set_name = ?1 AND section_name = ?2 AND key_name = ?3";
// A write knows whether its key exists (history needs the value before),
// so it updates in place or inserts, never both: a REPLACE deletes and
// reinserts the row and checks the sections' list on every write.
constexpr const char* kUpdateValue =
    "UPDATE config SET value = ?4 WHERE set_name = ?1 AND section_name = ?2 AND key_name = ?3";
constexpr const char* kInsertValue =
    "INSERT INTO config (set_name, section_name, key_name, value) VALUES (?1, ?2, ?3, ?4)";

LxStatus ReadNames(StoreDatabase* database, SqliteStatement* statement, std::vector<std::string>* names) {
  names->clear();
  return database->Query(statement, "cannot read the names",
                         [names](const SqliteStatement& row) { names->push_back(row.ColumnBlob(0)); });
}

}  // namespace

// Point reads kept in memory: a device's whole configuration, typically.
constexpr std::size_t kValueCacheBytes = 1024 * 1024;

struct ConfigStore::Statements {
  SqliteStatement selectSets;
  SqliteStatement selectSections;
  SqliteStatement selectPairs;
  SqliteStatement selectValue;
  SqliteStatement updateValue;
  SqliteStatement insertValue;
};

ConfigStore::ConfigStore(std::unique_ptr<StoreDatabase> database)
    : database_(std::move(database)), statements_(new Statements), values_(new ValueCache(kValueCacheBytes)) {}

ConfigStore::~ConfigStore() = default;

void ConfigStore::PrepareLibrary() { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); }

LxStatus ConfigStore::Open(const std::string& path, std::unique_ptr<ConfigStore>* store, const char* vfs) {
  std::unique_ptr<StoreDatabase> database;
  LxStatus status = StoreDatabase::Open(path, vfs, &database);
  if (!status.ok()) return status;
  std::unique_ptr<ConfigStore> opened(new ConfigStore(std::move(database)));
  status = opened->Prepare();
  if (!status.ok()) return WithContext("database " + path, status);
  *store = std::move(opened);
  return LxStatus::Ok();
}

LxStatus ConfigStore::OpenInMemory(std::unique_ptr<ConfigStore>* store) {
  return Open(StoreDatabase::kInMemory, store);
}

LxStatus ConfigStore::RefuseWrites() { return database_->RefuseWrites(); }

LxStatus ConfigStore::Prepare() {
  LxStatus status = StoreSchema::Apply(database_.get());
  const struct {
    SqliteStatement* statement;
    const char* sql;
  } statements[] = {
      {&statements_->selectSets, kSelectSets},     {&statements_->selectSections, kSelectSections},
      {&statements_->selectPairs, kSelectPairs},   {&statements_->selectValue, kSelectValue},
      {&statements_->updateValue, kUpdateValue},   {&statements_->insertValue, kInsertValue},
  };
  for (const auto& text : statements)
    if (status.ok()) status = database_->Prepare(text.statement, text.sql);
  if (status.ok()) status = RevisionLog::Create(database_.get(), &revisions_);
  if (status.ok()) status = HistoryReader::Create(database_.get(), revisions_.get(), &history_);
  if (status.ok()) status = ConfigLayers::Create(database_.get(), revisions_.get(), history_.get(), &layers_);
  if (status.ok()) status = RecoveryWriter::Create(database_.get(), &recovery_);
  return status;
}

LxStatus ConfigStore::GetSets(std::vector<std::string>* sets) {
  return ReadNames(database_.get(), &statements_->selectSets, sets);
}

LxStatus ConfigStore::GetSections(const std::string& set, std::vector<std::string>* sections) {
  statements_->selectSections.BindBlobs(set);
  return ReadNames(database_.get(), &statements_->selectSections, sections);
}

LxStatus ConfigStore::GetKeysAndValues(const std::string& set, const std::string& section,
                                       std::vector<wire::KeyValue>* pairs) {
  pairs->clear();
  SqliteStatement* select = &statements_->selectPairs;
  select->BindBlobs(set, section);
  return database_->Query(select, "cannot read the keys", [pairs](const SqliteStatement& row) {
    pairs->push_back(wire::KeyValue{row.ColumnBlob(0), row.ColumnBlob(1)});
  });
}

LxStatus ConfigStore::GetValue(const std::string& set, const std::string& section, const std::string& key,
                               std::string* value) {
  // Inside a transaction a value read may yet be rolled back: not kept.
  const bool cacheable = !database_->inTransaction();
  const std::uint64_t generation = database_->generation();
  if (cacheable) {
    if (const std::string* kept = values_->Find(generation, set, section, key)) {
      *value = *kept;
      return LxStatus::Ok();
    }
  }
  SqliteStatement* select = &statements_->selectValue;
  select->BindBlobs(set, section, key);
  const int result = select->Step();
  LxStatus status;
  if (result == SQLITE_ROW) {
    *value = select->ColumnBlob(0);
    if (cacheable) values_->Add(generation, set, section, key, *value);
  } else if (result == SQLITE_DONE) {
    status = LxStatus::NotFound("no such key");
  }
  else status = database_->Failure("cannot read the value");
  select->Reset();
  return status;
}

LxStatus ConfigStore::WriteValue(const ValueWrite& write, CommittedRevision* made) {
  const ConfigRow& row = write.row;
  std::string before;
  LxStatus status = GetValue(row.set, row.section, row.key, &before);
  const bool existed = status.ok();
  if (status.code() == LxStatus::Code::kNotFound) status = LxStatus::Ok();
  if (!status.ok()) return status;
  SqliteStatement* statement = existed ? &statements_->updateValue : &statements_->insertValue;
  statement->BindBlobs(row.set, row.section, row.key, row.value);
  status = database_->Run(statement, "cannot write the value");
  if (!status.ok()) return status;
  KeyChange change{row.set, row.section, row.key, std::nullopt, row.value};
  if (existed) change.before = std::move(before);
  made->changes = {std::move(change)};
  return revisions_->Append(write.note, made->changes, &made->number);
}

LxStatus ConfigStore::SetValue(const std::string& set, const std::string& section, const std::string& key,
                               const std::string& value, const ChangeNote& note, CommittedRevision* made) {
  std::vector<CommittedRevision> written;
  LxStatus status = SetValues({ValueWrite{ConfigRow{set, section, key, value}, note}}, &written);
  if (status.ok()) *made = std::move(written.front());
  return status;
}

LxStatus ConfigStore::SetValues(const std::vector<ValueWrite>& writes, std::vector<CommittedRevision>* made) {
  std::vector<CommittedRevision> written(writes.size());
  LxStatus status = database_->InTransaction("cannot commit", [&]() {
    for (std::size_t index = 0; index < writes.size(); ++index) {
      LxStatus done = WriteValue(writes[index], &written[index]);
      if (!done.ok()) return done;
    }
    return revisions_->Prune();
  });
  if (!status.ok()) return status;
  database_->CountConfigChanges(writes.size());
  *made = std::move(written);
  return status;
}

std::uint64_t ConfigStore::changes() const { return database_->configChanges() + database_->defaultsChanges(); }

std::uint64_t ConfigStore::configChanges() const { return database_->configChanges(); }

void ConfigStore::LeaveLogOnClose() { database_->LeaveLogOnClose(); }

}  // namespace qet_cfgserver
