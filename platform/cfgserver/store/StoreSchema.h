#pragma once

#include "common/LxStatus.h"

namespace qet_cfgserver {

class StoreDatabase;

// The store's tables and their version. Two tables of the same shape:
// "config" (the effective value of every key, what reads see) and
// "defaults" (the factory defaults), each WITHOUT ROWID with primary key
// (set, section, key) and every column a BLOB; and "sections", the
// (set, section) names config holds, kept by triggers on config in the
// same transaction as every change, for listings.
//
// The version is PRAGMA user_version. A database of version 0 is new, or
// from before the defaults layer (config alone); version 2 lacks the
// sections. An older database is migrated in one transaction, its rows
// staying in config (so counting as the operator's) and its sections
// listed once. A newer version than kVersion is refused with Unavailable and
// never written.
//
// Private to store/ (ConfigStore::Open applies it); reactor thread.
class StoreSchema {
 public:
  static constexpr int kVersion = 3;

  // Brings database to kVersion, or refuses it.
  static LxStatus Apply(StoreDatabase* database);
};

}  // namespace qet_cfgserver
