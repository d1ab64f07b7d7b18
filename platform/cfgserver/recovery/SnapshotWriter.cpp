#include "recovery/SnapshotWriter.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/Directories.h"
#include "recovery/SalvageReader.h"
#include "store/DatabaseCopy.h"

namespace qet_cfgserver {

namespace {

constexpr const char* kSnapshotSuffix = ".snapshot";
constexpr const char* kTemporarySuffix = ".tmp";
// Created beside the copy while SQLite writes it.
constexpr const char* kJournalSuffix = "-journal";
constexpr mode_t kSnapshotMode = 0600;

void RemoveCopy(const std::string& path) {
  unlink(path.c_str());
  unlink((path + kJournalSuffix).c_str());
}

// An empty file with the snapshot's mode, so SQLite's files keep it (it
// gives a journal the mode of its database).
LxStatus CreatePrivateFile(const std::string& path) {
  const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kSnapshotMode);
  if (file < 0) return LxStatus::IoError("cannot create " + path + ": " + strerror(errno));
  const bool madePrivate = fchmod(file, kSnapshotMode) == 0;
  close(file);
  if (!madePrivate) return LxStatus::IoError("cannot make " + path + " private: " + strerror(errno));
  return LxStatus::Ok();
}

}  // namespace

std::string SnapshotWriter::PathFor(const std::string& database) { return database + kSnapshotSuffix; }

LxStatus SnapshotWriter::Write(const ConfigStore& store, const std::string& snapshot, const char* vfs) {
  const std::string copy = snapshot + kTemporarySuffix;
  RemoveCopy(copy);  // what a crash left behind
  LxStatus status = CreatePrivateFile(copy);
  if (status.ok()) status = DatabaseCopy::Write(store, copy, vfs);
  if (status.ok()) {
    status = SalvageReader::Check(copy, vfs);
    if (status.code() == LxStatus::Code::kCorruption)
      status = LxStatus::Corruption("the database's copy is damaged: " + status.message());
  }
  if (status.ok() && rename(copy.c_str(), snapshot.c_str()) != 0)
    status = LxStatus::IoError("cannot rename " + copy + " to " + snapshot + ": " + strerror(errno));
  if (!status.ok()) {
    RemoveCopy(copy);
    return status;
  }
  return SyncDirectory(ParentDirectory(snapshot));
}

}  // namespace qet_cfgserver
