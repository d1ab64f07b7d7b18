#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/ConfigTypes.h"
#include "common/LxStatus.h"

namespace qet_cfgserver {

// Reads back what can still be read from a configuration database file:
// a damaged one moved aside, or a snapshot. The file is opened read-only,
// so it is never written (SQLite may create a "-shm" index beside a file
// in log mode). vfs as for ConfigStore::Open.
class SalvageReader {
 public:
  // PRAGMA quick_check on path: Ok, or Corruption with what it found.
  static LxStatus Check(const std::string& path, const char* vfs);

  // Appends the rows of path to rows. The table is scanned forwards and,
  // after an error, backwards from the end down to the last row the first
  // scan read, so rows on both sides of a bad page come back. Rows with an
  // empty name or over the request limits (damage can make them) are left
  // out. Ok when every row was read; otherwise what stopped the scans.
  static LxStatus ReadRows(const std::string& path, const char* vfs, std::vector<ConfigRow>* rows);

  // The same for the rows of the defaults layer; a file without that table
  // (from before it) has none.
  static LxStatus ReadDefaultRows(const std::string& path, const char* vfs, std::vector<ConfigRow>* rows);

  // The highest revision number path holds, in its history or its
  // revision state; 0 for a file from before revisions. Fails when
  // neither can be read.
  static LxStatus ReadHighestRevision(const std::string& path, const char* vfs, std::uint64_t* revision);
};

}  // namespace qet_cfgserver
