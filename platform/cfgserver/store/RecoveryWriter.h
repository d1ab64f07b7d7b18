#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "common/ConfigTypes.h"
#include "common/LxStatus.h"

namespace qet_cfgserver {

class StoreDatabase;

// What recovery writes into the database it rebuilds: the rows it read from
// the damaged file and from the snapshot, each source adding only the keys
// still missing, so that the source added first wins. Both layers: the
// effective values and the factory defaults.
//
// Each call is one transaction: on failure none of its rows is kept and
// *added is 0. A later row for a key already added is skipped like any
// other present key.
//
// Made and owned by its ConfigStore (ConfigStore::recovery()), on the
// store's connection; the reactor thread's alone.
class RecoveryWriter {
 public:
  // Prepares the writer's statements; ConfigStore::Open does this once.
  static LxStatus Create(StoreDatabase* database, std::unique_ptr<RecoveryWriter>* writer);

  ~RecoveryWriter();

  RecoveryWriter(const RecoveryWriter&) = delete;
  RecoveryWriter& operator=(const RecoveryWriter&) = delete;

  // Adds the rows whose key config lacks; *added counts them.
  LxStatus AddMissing(const std::vector<ConfigRow>& rows, std::uint64_t* added);

  // Adds the rows whose key defaults lacks; *added counts them.
  LxStatus AddMissingDefaults(const std::vector<ConfigRow>& rows, std::uint64_t* added);

 private:
  struct Statements;

  explicit RecoveryWriter(StoreDatabase* database);

  StoreDatabase* database_;
  std::unique_ptr<Statements> statements_;
};

}  // namespace qet_cfgserver
