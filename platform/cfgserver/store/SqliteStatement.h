#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace qet_cfgserver {

// One prepared SQLite statement, prepared once and reused: Bind, Step, and
// Reset before the next use. Every value is bound and read as a BLOB, so any
// byte (NUL included) survives. Owns the statement; the database must
// outlive it. Used by one thread at a time.
//
// Private to store/ and recovery/, the only code that may reach SQLite.
class SqliteStatement {
 public:
  SqliteStatement() = default;
  ~SqliteStatement();

  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  // Returns an SQLite result code.
  int Prepare(sqlite3* database, const char* sql);

  // Binds parameter index (1-based) to bytes as a BLOB, empty included,
  // without copying them: they must stay as they are until Reset(), which
  // is why a temporary cannot be bound.
  int BindBlob(int index, const std::string& bytes);
  int BindBlob(int index, std::string&& bytes) = delete;
  // Binds parameter index to NULL.
  int BindNull(int index);
  // Binds parameter index to an integer.
  int BindInt(int index, std::int64_t number);

  // Binds values to parameters 1, 2, ... in order, as BindBlob does.
  template <typename... Values>
  void BindBlobs(Values&&... values) {
    int index = 0;
    (BindBlob(++index, std::forward<Values>(values)), ...);
  }

  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step();

  // Column index (0-based) of the current row as bytes.
  std::string ColumnBlob(int index) const;

  // Whether column index of the current row is NULL.
  bool ColumnIsNull(int index) const;

  // Column index of the current row as bytes; absent when it is NULL.
  std::optional<std::string> ColumnOptionalBlob(int index) const;

  // Column index (0-based) of the current row as an integer.
  std::int64_t ColumnInt(int index) const;

  // Ready for the next use; clears the bindings.
  void Reset();

 private:
  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace qet_cfgserver
