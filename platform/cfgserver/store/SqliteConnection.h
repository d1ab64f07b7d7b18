#pragma once

#include <sqlite3.h>

#include <memory>

namespace qet_cfgserver {

// A bare SQLite connection, for the databases opened beside the store's own
// (a snapshot's copy, a damaged file read for salvage): closed with
// sqlite3_close_v2, which waits for its last statement.
//
// Private to store/ and recovery/, like everything that reaches SQLite.
struct CloseSqliteConnection {
  void operator()(sqlite3* connection) const { sqlite3_close_v2(connection); }
};
using SqliteConnection = std::unique_ptr<sqlite3, CloseSqliteConnection>;

}  // namespace qet_cfgserver
