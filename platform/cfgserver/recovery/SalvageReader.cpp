#include "recovery/SalvageReader.h"

#include <ctype.h>
#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <tuple>

#include "cfgwire/Limits.h"
#include "common/Directories.h"
#include "store/SqliteConnection.h"
#include "store/SqliteStatement.h"
#include "store/SqliteStatus.h"
#include "store/StatusContext.h"

namespace qet_cfgserver {

namespace {

constexpr const char* kLogSuffix = "-wal";

// path as an SQLite URI: every byte but a few safe ones percent-encoded.
std::string FileUri(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file:";
  for (const char byte : path) {
    const unsigned char value = static_cast<unsigned char>(byte);
    if (isalnum(value) || byte == '/' || byte == '.' || byte == '_' || byte == '-') {
      uri += byte;
      continue;
    }
    uri += '%';
    uri += kHex[value >> 4];
    uri += kHex[value & 0xf];
  }
  return uri;
}

// Without a log beside the file, "immutable" keeps SQLite from creating one
// (and its index) for a file whose header says it uses one; with a log, the
// log must be read, and SQLite may add the index file.
LxStatus OpenReadOnly(const std::string& path, const char* vfs, SqliteConnection* database) {
  const std::string uri = FileUri(path) + (PathExists(path + kLogSuffix) ? "" : "?immutable=1");
  sqlite3* opened = nullptr;
  const int result =
      sqlite3_open_v2(uri.c_str(), &opened, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, vfs);
  database->reset(opened);
  if (result != SQLITE_OK) return SqliteFailure(result, "cannot open " + path);
  sqlite3_extended_result_codes(opened, 1);
  return LxStatus::Ok();
}

bool Usable(const ConfigRow& row) {
  for (const std::string* name : {&row.set, &row.section, &row.key})
    if (name->empty() || name->size() > wire::kMaxNameBytes) return false;
  return row.value.size() <= wire::kMaxValueBytes;
}

bool After(const ConfigRow& row, const ConfigRow& last) {
  return std::tie(row.set, row.section, row.key) > std::tie(last.set, last.section, last.key);
}

// Steps statement, appending usable rows, until the end, an error, or a row
// that stop rejects. Returns the last step's result.
template <typename Stop>
int Scan(SqliteStatement* statement, std::vector<ConfigRow>* rows, std::optional<ConfigRow>* last, Stop stop) {
  int result;
  while ((result = statement->Step()) == SQLITE_ROW) {
    ConfigRow row{statement->ColumnBlob(0), statement->ColumnBlob(1), statement->ColumnBlob(2),
                  statement->ColumnBlob(3)};
    if (stop(row)) return SQLITE_DONE;
    if (Usable(row)) rows->push_back(row);
    *last = std::move(row);
  }
  return result;
}

// The two scans of one table, in key order and in reverse.
struct Table {
  const char* forward;
  const char* backward;
};

constexpr Table kConfigTable = {
    "SELECT set_name, section_name, key_name, value FROM config ORDER BY set_name, section_name, key_name",
    "SELECT set_name, section_name, key_name, value FROM config"
    " ORDER BY set_name DESC, section_name DESC, key_name DESC"};
constexpr Table kDefaultsTable = {
    "SELECT set_name, section_name, key_name, value FROM defaults ORDER BY set_name, section_name, key_name",
    "SELECT set_name, section_name, key_name, value FROM defaults"
    " ORDER BY set_name DESC, section_name DESC, key_name DESC"};

// Scans table forwards and, after an error, backwards down to the last row
// the first scan read.
LxStatus ReadTable(const std::string& path, const char* vfs, const Table& table, std::vector<ConfigRow>* rows) {
  SqliteConnection database;
  LxStatus status = OpenReadOnly(path, vfs, &database);
  if (!status.ok()) return status;
  SqliteStatement forward;
  if (forward.Prepare(database.get(), table.forward) != SQLITE_OK) return LastSqliteFailure(database.get(), path);
  std::optional<ConfigRow> lastForward;
  if (Scan(&forward, rows, &lastForward, [](const ConfigRow&) { return false; }) == SQLITE_DONE)
    return LxStatus::Ok();
  status = LastSqliteFailure(database.get(), path);

  SqliteStatement backward;
  if (backward.Prepare(database.get(), table.backward) != SQLITE_OK) return status;
  std::optional<ConfigRow> lastBackward;
  Scan(&backward, rows, &lastBackward,
       [&lastForward](const ConfigRow& row) { return lastForward && !After(row, *lastForward); });
  return status;
}

LxStatus HasTable(sqlite3* database, const std::string& path, const char* table, bool* exists) {
  SqliteStatement select;
  if (select.Prepare(database, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = CAST(?1 AS TEXT)") != SQLITE_OK)
    return LastSqliteFailure(database, path);
  const std::string name = table;
  select.BindBlob(1, name);
  const int found = select.Step();
  if (found != SQLITE_ROW && found != SQLITE_DONE) return LastSqliteFailure(database, path);
  *exists = found == SQLITE_ROW;
  return LxStatus::Ok();
}

// The largest number in column of table, read in key order up to the first
// error: Ok when every row was read, otherwise what stopped it. A file
// from before the table has none.
LxStatus HighestNumber(sqlite3* database, const std::string& path, const std::string& table,
                       const std::string& column, std::int64_t* highest) {
  bool exists = false;
  LxStatus status = HasTable(database, path, table.c_str(), &exists);
  if (!status.ok() || !exists) return status;  // a file from before revisions
  SqliteStatement select;
  const std::string sql = "SELECT " + column + " FROM " + table + " ORDER BY " + column;
  if (select.Prepare(database, sql.c_str()) != SQLITE_OK) return LastSqliteFailure(database, path);
  int result;
  while ((result = select.Step()) == SQLITE_ROW) *highest = std::max(*highest, select.ColumnInt(0));
  return result == SQLITE_DONE ? LxStatus::Ok() : LastSqliteFailure(database, path);
}

}  // namespace

LxStatus SalvageReader::Check(const std::string& path, const char* vfs) {
  SqliteConnection database;
  LxStatus status = OpenReadOnly(path, vfs, &database);
  if (!status.ok()) return status;
  return WithContext(path, QuickCheck(database.get()));
}

LxStatus SalvageReader::ReadRows(const std::string& path, const char* vfs, std::vector<ConfigRow>* rows) {
  return ReadTable(path, vfs, kConfigTable, rows);
}

LxStatus SalvageReader::ReadDefaultRows(const std::string& path, const char* vfs, std::vector<ConfigRow>* rows) {
  SqliteConnection database;
  LxStatus status = OpenReadOnly(path, vfs, &database);
  if (!status.ok()) return status;
  bool exists = false;
  status = HasTable(database.get(), path, "defaults", &exists);
  if (!status.ok() || !exists) return status;  // a file from before the defaults layer
  return ReadTable(path, vfs, kDefaultsTable, rows);
}

LxStatus SalvageReader::ReadHighestRevision(const std::string& path, const char* vfs, std::uint64_t* revision) {
  SqliteConnection database;
  LxStatus status = OpenReadOnly(path, vfs, &database);
  if (!status.ok()) return status;
  std::int64_t highest = 0;
  // In key order, so a bad page stops the scan after every number before it.
  const LxStatus history = HighestNumber(database.get(), path, "history", "revision", &highest);
  const LxStatus counter = HighestNumber(database.get(), path, "revision_state", "highest", &highest);
  if (!history.ok() && !counter.ok() && highest == 0) return history;
  *revision = static_cast<std::uint64_t>(highest);
  return LxStatus::Ok();
}

}  // namespace qet_cfgserver
