#pragma once

#include <string>

#include "common/LxStatus.h"

namespace qet_cfgserver {

// Where a damaged database goes: beside itself, renamed to
// <database>.damaged-<UTC time, e.g. 20261206T154500Z>, with its "-wal" and
// "-shm" files renamed alike. Never deleted, never over an earlier one: when
// that name is taken, "-2", "-3" ... follow the time.
class DamagedDatabase {
 public:
  // Moves database and whichever companion files exist, then syncs the
  // directory. *movedTo is the new name of the database file, empty when
  // there was none (only companions were moved).
  static LxStatus MoveAside(const std::string& database, std::string* movedTo);

  // The "-wal" and "-shm" files SQLite keeps beside a database.
  static const char* const kCompanionSuffixes[2];
};

}  // namespace qet_cfgserver
