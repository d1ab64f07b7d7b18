#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "common/ConfigTypes.h"
#include "common/LxStatus.h"
#include "common/RevisionTypes.h"

namespace qet_cfgserver {

class RevisionLog;
class StoreDatabase;

// Reads the kept revisions of table "history" (see RevisionLog): lists
// them, shows one, and folds a run of them into what differs between two
// revisions. A revision that is no longer kept (pruned, or from before a
// rebuilt database) is NotFound.
//
// A scope outside ConfigScope's levels is InvalidArgument.
//
// Made and owned by its ConfigStore (ConfigStore::history()), on the
// store's connection; the reactor thread's alone.
class HistoryReader {
 public:
  // Prepares the reader's statements; ConfigStore::Open does this once.
  static LxStatus Create(StoreDatabase* database, RevisionLog* log, std::unique_ptr<HistoryReader>* reader);

  ~HistoryReader();

  HistoryReader(const HistoryReader&) = delete;
  HistoryReader& operator=(const HistoryReader&) = delete;

  // The newest kept revisions older than before (0: any) that changed a key
  // within scope, newest first, at most limit of them.
  LxStatus List(const ConfigScope& scope, std::uint64_t before, std::uint32_t limit,
                std::vector<RevisionEntry>* entries);

  // The first kept revision from revision from on: *number and the keys it
  // changed. NotFound when none is kept from there on.
  LxStatus NextFrom(std::uint64_t from, std::uint64_t* number, std::vector<KeyChange>* changes);

  // Revision number with the keys it changed, in (set, section, key) order.
  LxStatus Show(std::uint64_t number, RevisionEntry* entry, std::vector<KeyChange>* changes);

  // The keys within scope whose value at revision from differs from their
  // value at revision to (either may be the larger; Current() is now): before
  // at from, after at to, in (set, section, key) order. Needs every revision
  // after the smaller of the two kept: NotFound naming the oldest kept
  // otherwise; InvalidArgument for a revision not yet made.
  LxStatus Differences(std::uint64_t from, std::uint64_t to, const ConfigScope& scope,
                       std::vector<KeyChange>* changes);

 private:
  struct Statements;

  HistoryReader(StoreDatabase* database, RevisionLog* log);

  // NotFound unless every revision after number is kept and number was made.
  LxStatus CheckFollowedByKept(std::uint64_t number);

  StoreDatabase* database_;
  RevisionLog* log_;
  std::unique_ptr<Statements> statements_;
};

}  // namespace qet_cfgserver
