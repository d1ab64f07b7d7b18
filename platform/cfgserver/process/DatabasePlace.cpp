#include "process/DatabasePlace.h"

#include <unistd.h>

#include "common/Directories.h"
#include "common/SafePath.h"
#include "recovery/DamagedDatabase.h"
#include "recovery/SnapshotWriter.h"
#include "recovery/StoreKeeper.h"

namespace qet_cfgserver {

namespace {

// Ok when nothing is at path: the server makes it itself.
LxStatus CheckFileIfThere(const std::string& path) {
  const LxStatus status = CheckSafeFile(path, geteuid());
  return status.code() == LxStatus::Code::kNotFound ? LxStatus::Ok() : status;
}

}  // namespace

LxStatus PrepareDatabasePlace(const std::string& database) {
  const std::string directory = ParentDirectory(database);
  LxStatus status = CreateDirectories(directory, StoreKeeper::kDatabaseDirectoryMode);
  if (!status.ok()) return status;
  status = CheckSafeDirectory(directory, geteuid(), Owner::kRootOrUser);
  if (status.ok()) status = CheckFileIfThere(database);
  for (const char* suffix : DamagedDatabase::kCompanionSuffixes)
    if (status.ok()) status = CheckFileIfThere(database + suffix);
  if (status.ok()) status = CheckFileIfThere(SnapshotWriter::PathFor(database));
  if (!status.ok()) return LxStatus::Unavailable("unsafe database place: " + status.message());
  return LxStatus::Ok();
}

}  // namespace qet_cfgserver
