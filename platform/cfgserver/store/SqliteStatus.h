#pragma once

#include <sqlite3.h>

#include <string>

#include "common/LxStatus.h"

namespace qet_cfgserver {

// What SQLite reports, as the LxStatus the store's callers act on. Private
// to store/ and recovery/, like everything that reaches SQLite.

// The LxStatus for SQLite's result code (extended codes on) with message:
// Corruption for a damaged file, Unavailable for a database held elsewhere,
// IoError for the rest.
LxStatus SqliteFailure(int result, const std::string& message);

// The last failure on database as "what: SQLite's message".
LxStatus LastSqliteFailure(sqlite3* database, const std::string& what);

// PRAGMA quick_check on database: Ok, or Corruption with the start of what
// it found on one line.
LxStatus QuickCheck(sqlite3* database);

}  // namespace qet_cfgserver
