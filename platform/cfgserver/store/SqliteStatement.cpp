#include "store/SqliteStatement.h"

namespace qet_cfgserver {

SqliteStatement::~SqliteStatement() { sqlite3_finalize(statement_); }

int SqliteStatement::Prepare(sqlite3* database, const char* sql) {
  sqlite3_finalize(statement_);
  statement_ = nullptr;
  return sqlite3_prepare_v3(database, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement_, nullptr);
}

int SqliteStatement::BindBlob(int index, const std::string& bytes) {
  // A null pointer would bind SQL NULL; data() of a std::string never is one,
  // so an empty string binds an empty BLOB. SQLITE_STATIC: no copy, no
  // allocation per value written or looked up.
  return sqlite3_bind_blob(statement_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
}

int SqliteStatement::BindNull(int index) { return sqlite3_bind_null(statement_, index); }

int SqliteStatement::BindInt(int index, std::int64_t number) { return sqlite3_bind_int64(statement_, index, number); }

int SqliteStatement::Step() { return sqlite3_step(statement_); }

std::string SqliteStatement::ColumnBlob(int index) const {
  const void* bytes = sqlite3_column_blob(statement_, index);
  const int count = sqlite3_column_bytes(statement_, index);
  if (bytes == nullptr || count <= 0) return std::string();
  return std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(count));
}

bool SqliteStatement::ColumnIsNull(int index) const { return sqlite3_column_type(statement_, index) == SQLITE_NULL; }

std::optional<std::string> SqliteStatement::ColumnOptionalBlob(int index) const {
  if (ColumnIsNull(index)) return std::nullopt;
  return ColumnBlob(index);
}

std::int64_t SqliteStatement::ColumnInt(int index) const { return sqlite3_column_int64(statement_, index); }

void SqliteStatement::Reset() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

}  // namespace qet_cfgserver
