#pragma once

#include "common/LxStatus.h"

namespace qet_cfgserver {

class StoreDatabase;

// The store's tables and their version.
//
// "config" (the effective value of every key, what reads see) and
// "defaults" (the factory defaults) have one shape: WITHOUT ROWID with
// primary key (set, section, key), every column a BLOB. "sections" holds
// the (set, section) names config holds, kept by triggers on config in the
// same transaction as every change, for listings.
//
// "history" holds the kept revisions (RevisionLog), one row each: its
// number as the rowid, time, author and summary, how many keys it changed,
// and last those keys, before and after, packed in one BLOB
// (KeyChangeCodec). A new revision is appended to the table's last page and
// the oldest pruned from its first: a single-key write changes one page of
// config and one of history (and now and then one more, as a page fills or
// the oldest leave), which keeps what it costs the flash low (a row per
// key, or a table per kind of row, would touch more pages each).
//
// "revision_state" holds one row: the highest revision made when history
// may not hold it (none kept, or a rebuilt database; the current revision
// is the larger of it and the newest in history), and the change awaiting
// confirmation, if any (its base, its newest revision and its deadline;
// NULL when none).
//
// The version is PRAGMA user_version. Version 0 is a new database or one
// from before the defaults layer (config alone; its rows stay the
// operator's); version 2 lacks the sections and history, version 3 history,
// and version 4 lists sections with a trigger that wrote at every insert.
// Each is brought to kVersion in one transaction, its configuration
// untouched, its sections listed once and its history starting empty at
// revision 0. A newer version than kVersion is refused with Unavailable and
// never written.
//
// Private to store/ (ConfigStore::Open applies it); reactor thread.
class StoreSchema {
 public:
  static constexpr int kVersion = 5;

  // Brings database to kVersion, or refuses it.
  static LxStatus Apply(StoreDatabase* database);
};

}  // namespace qet_cfgserver
