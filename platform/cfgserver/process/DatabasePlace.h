#pragma once

#include <string>

#include "common/LxStatus.h"

namespace qet_cfgserver {

// Before the store opens anything: makes the database's directory
// (StoreKeeper::kDatabaseDirectoryMode, parents too) and checks it and the
// database's files that exist (the database, its log and shared-memory
// files, its snapshot) against the safe-path rules of common/SafePath.h for
// the server's user: they must belong to root or that user, be writable by
// nobody else and never be reached through a link another user owns. Fails
// naming the path and the reason. Main thread.
LxStatus PrepareDatabasePlace(const std::string& database);

}  // namespace qet_cfgserver
