#include "recovery/StoreKeeper.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>

#include "common/Directories.h"
#include "log/ServerLog.h"
#include "recovery/DamagedDatabase.h"
#include "recovery/SalvageReader.h"
#include "recovery/SnapshotWriter.h"
#include "store/IniImporter.h"

namespace qet_cfgserver {

constexpr mode_t StoreKeeper::kDatabaseDirectoryMode;

namespace {

constexpr const char* kRebuildSuffix = ".rebuild";
constexpr const char* kLogSuffix = "-wal";

bool IsCorruption(const LxStatus& status) { return status.code() == LxStatus::Code::kCorruption; }

unsigned long long Count(std::uint64_t count) { return static_cast<unsigned long long>(count); }

// The rebuild's own files, left by a crash in the middle of one.
void RemoveWithCompanions(const std::string& path) {
  unlink(path.c_str());
  for (const char* suffix : DamagedDatabase::kCompanionSuffixes) unlink((path + suffix).c_str());
}

LxStatus RenameInto(const std::string& from, const std::string& to) {
  if (rename(from.c_str(), to.c_str()) != 0)
    return LxStatus::IoError("cannot rename " + from + " to " + to + ": " + strerror(errno));
  return SyncDirectory(ParentDirectory(to));
}

}  // namespace

StoreKeeper::StoreKeeper(StoreSettings settings)
    : settings_(std::move(settings)),
      snapshotPath_(SnapshotWriter::PathFor(settings_.database)),
      rebuildPath_(settings_.database + kRebuildSuffix) {}

StoreKeeper::~StoreKeeper() = default;

LxStatus StoreKeeper::Open() {
  LxStatus status = CreateDirectories(ParentDirectory(settings_.database), kDatabaseDirectoryMode);
  if (!status.ok()) return status;
  // A recovery cut short after moving the damaged file aside left its
  // complete result behind.
  if (!PathExists(settings_.database) && PathExists(rebuildPath_)) {
    status = RenameInto(rebuildPath_, settings_.database);
    if (!status.ok()) return status;
    __dlog_printf(kDlogWarning, kServerLogSource, "finished an interrupted recovery: %s renamed to %s",
                  rebuildPath_.c_str(), settings_.database.c_str());
  }
  const bool haveSnapshot = PathExists(snapshotPath_);
  // A log left behind means the last run did not stop cleanly, perhaps
  // after writes its snapshot lacks.
  snapshotStale_ = !haveSnapshot || PathExists(settings_.database + kLogSuffix);
  if (haveSnapshot && !PathExists(settings_.database)) return RecoverAtStart(LxStatus::NotFound("the database is missing"));

  // A database that cannot be opened is as lost as a damaged one, unless
  // another process holds it: that one is left alone.
  status = OpenStore(settings_.database, &store_);
  if (status.code() == LxStatus::Code::kUnavailable) return status;
  if (!status.ok()) return RecoverAtStart(status);
  // Before the defaults: new ones (a firmware update) are not what it undoes.
  status = RollBackUnconfirmed();
  if (IsCorruption(status)) return RecoverAtStart(status);
  if (!status.ok()) return status;
  std::uint64_t added = 0;
  status = ImportAll(store_.get(), true, &added);
  if (IsCorruption(status)) return RecoverAtStart(status);
  return status;
}

LxStatus StoreKeeper::RollBackUnconfirmed() {
  std::optional<PendingConfirmation> pending;
  LxStatus status = store_->revisions().Pending(&pending);
  if (!status.ok() || !pending) return status;
  const std::string why = "not confirmed before the server stopped";
  const ChangeNote note{ServerItself(), "rollback " + std::to_string(pending->base) + ": " + why};
  CommittedRevision made;
  status = store_->layers().CancelPending(note, &made);
  if (!status.ok()) return status;
  __dlog_printf(kDlogWarning, kServerLogSource,
                "revision %llu and after it %s: rolled back to revision %llu as revision %llu (%zu keys)",
                Count(pending->revision), why.c_str(), Count(pending->base), Count(made.number), made.changes.size());
  return status;
}

LxStatus StoreKeeper::RecoverAtStart(const LxStatus& cause) {
  const LxStatus status = Recover(cause);
  // Serving read-only from memory beats not serving at all.
  return servingFromMemory_ ? LxStatus::Ok() : status;
}

LxStatus StoreKeeper::Recover(const LxStatus& cause) {
  // The store in memory serves on until a rebuilt file replaces it.
  if (store_ && !servingFromMemory_) {
    store_->LeaveLogOnClose();
    store_.reset();
  }
  snapshotStale_ = true;
  lastRebuild_ = std::chrono::steady_clock::now();
  // A write refused by the store in memory is not what went wrong.
  const LxStatus damage = servingFromMemory_ ? damage_ : cause;
  Counts counts;
  std::string found;
  std::string movedTo;
  const LxStatus status = RebuildInPlace(&counts, &found, &movedTo);
  if (status.ok()) {
    servingFromMemory_ = false;
    __dlog_printf(kDlogError, kServerLogSource,
                  "database %s: %s; damaged file moved to %s; %s; rebuilt with %llu keys from the damaged file, "
                  "%llu from the snapshot, %llu from imports",
                  settings_.database.c_str(), damage.ToString().c_str(), movedTo.empty() ? "(none)" : movedTo.c_str(),
                  found.c_str(), Count(counts.fromDamaged), Count(counts.fromSnapshot), Count(counts.fromImports));
    return status;
  }
  // What a failed rebuild wrote would only take the space it lacked.
  RemoveWithCompanions(rebuildPath_);
  if (servingFromMemory_) {
    __dlog_printf(kDlogError, kServerLogSource, "database %s: still read-only from memory, not rebuilt: %s",
                  settings_.database.c_str(), status.ToString().c_str());
    return status;
  }
  counts = Counts();
  found.clear();
  const LxStatus inMemory = RebuildInMemory(&counts, &found);
  damage_ = cause;
  if (!inMemory.ok()) {
    __dlog_printf(kDlogError, kServerLogSource, "database %s: %s; recovery failed: %s; nor in memory: %s",
                  settings_.database.c_str(), cause.ToString().c_str(), status.ToString().c_str(),
                  inMemory.ToString().c_str());
    return status;
  }
  __dlog_printf(kDlogError, kServerLogSource,
                "database %s: %s; cannot rebuild it: %s; %s; serving read-only from memory %llu keys from the "
                "damaged file, %llu from the snapshot, %llu from imports; writes fail until a rebuild succeeds",
                settings_.database.c_str(), cause.ToString().c_str(), status.ToString().c_str(), found.c_str(),
                Count(counts.fromDamaged), Count(counts.fromSnapshot), Count(counts.fromImports));
  // Recovered, but not durably: the failure says why writes fail.
  return status;
}

bool StoreKeeper::CallsForRecovery(const LxStatus& failure) const {
  if (store_ == nullptr || failure.code() == LxStatus::Code::kCorruption) return true;
  return servingFromMemory_ && failure.code() == LxStatus::Code::kUnavailable &&
         std::chrono::steady_clock::now() - lastRebuild_ >= settings_.rebuildRetryInterval;
}

LxStatus StoreKeeper::RebuildInPlace(Counts* counts, std::string* found, std::string* movedTo) {
  RemoveWithCompanions(rebuildPath_);
  std::unique_ptr<ConfigStore> fresh;
  LxStatus status = OpenStore(rebuildPath_, &fresh);
  if (status.ok()) status = Fill(fresh.get(), counts, found);
  fresh.reset();  // a clean close folds the log into the file and syncs it
  // Only a complete rebuild replaces the damaged file, so a crash at any
  // point leaves one or the other to start from.
  if (status.ok()) status = DamagedDatabase::MoveAside(settings_.database, movedTo);
  if (status.ok()) status = RenameInto(rebuildPath_, settings_.database);
  std::unique_ptr<ConfigStore> opened;
  if (status.ok()) status = OpenStore(settings_.database, &opened);
  if (status.ok()) store_ = std::move(opened);
  return status;
}

LxStatus StoreKeeper::RebuildInMemory(Counts* counts, std::string* found) {
  std::unique_ptr<ConfigStore> fresh;
  LxStatus status = ConfigStore::OpenInMemory(&fresh);
  if (status.ok()) fresh->revisions().SetLimit(settings_.historyLimit);
  if (status.ok()) status = Fill(fresh.get(), counts, found);
  if (status.ok()) status = fresh->RefuseWrites();
  if (!status.ok()) return status;
  store_ = std::move(fresh);
  servingFromMemory_ = true;
  return status;
}

LxStatus StoreKeeper::Fill(ConfigStore* fresh, Counts* counts, std::string* found) {
  LxStatus status = CarryRevision(PathExists(settings_.database) ? settings_.database : "", fresh);
  if (!status.ok()) return status;
  std::vector<ConfigRow> rows;
  if (PathExists(settings_.database)) {
    const std::string& damaged = settings_.database;
    const LxStatus read = SalvageReader::ReadRows(damaged, settings_.vfs, &rows);
    *found = read.ok() ? "the damaged file read to the end" : "the damaged file read in part (" + read.message() + ")";
    status = fresh->recovery().AddMissing(rows, &counts->fromDamaged);
    if (status.ok()) status = CarryDefaults(damaged, fresh, found);
  } else {
    *found = "no damaged file";
  }
  rows.clear();
  if (!PathExists(snapshotPath_)) {
    *found += "; no snapshot";
  } else if (const LxStatus checked = SalvageReader::Check(snapshotPath_, settings_.vfs); !checked.ok()) {
    *found += "; snapshot not used (" + checked.message() + ")";
  } else if (status.ok()) {
    const LxStatus read = SalvageReader::ReadRows(snapshotPath_, settings_.vfs, &rows);
    status = fresh->recovery().AddMissing(rows, &counts->fromSnapshot);
    *found += "; snapshot " + snapshotPath_ + (read.ok() ? "" : " read in part (" + read.message() + ")");
    if (status.ok()) status = CarryDefaults(snapshotPath_, fresh, found);
  }
  if (status.ok()) status = ImportAll(fresh, false, &counts->fromImports);
  return status;
}

LxStatus StoreKeeper::OpenStore(const std::string& path, std::unique_ptr<ConfigStore>* store) {
  LxStatus status = ConfigStore::Open(path, store, settings_.vfs);
  if (status.ok()) (*store)->revisions().SetLimit(settings_.historyLimit);
  return status;
}

LxStatus StoreKeeper::CarryRevision(const std::string& damaged, ConfigStore* fresh) {
  std::uint64_t highest = 0;
  for (const std::string& source : {damaged, snapshotPath_}) {
    std::uint64_t found = 0;
    // An unreadable number is as lost as the revisions it counted.
    if (!source.empty() && PathExists(source) && SalvageReader::ReadHighestRevision(source, settings_.vfs, &found).ok())
      highest = std::max(highest, found);
  }
  return fresh->revisions().RaiseTo(highest);
}

LxStatus StoreKeeper::CarryDefaults(const std::string& source, ConfigStore* fresh, std::string* found) {
  std::vector<ConfigRow> rows;
  const LxStatus read = SalvageReader::ReadDefaultRows(source, settings_.vfs, &rows);
  if (!read.ok()) *found += "; its defaults read in part (" + read.message() + ")";
  std::uint64_t added = 0;
  return fresh->recovery().AddMissingDefaults(rows, &added);
}

LxStatus StoreKeeper::ImportAll(ConfigStore* store, bool stopOnError, std::uint64_t* added) {
  *added = 0;
  for (const std::string& file : settings_.imports) {
    const std::uint64_t before = store->configChanges();
    LxStatus status = IniImporter::Import(file, store);
    *added += store->configChanges() - before;
    if (status.ok()) continue;
    if (stopOnError) return status;
    __dlog_printf(kDlogError, kServerLogSource, "defaults not imported: %s", status.ToString().c_str());
  }
  return LxStatus::Ok();
}

LxStatus StoreKeeper::SnapshotIfChanged() {
  // A copy of the store in memory must not replace the good snapshot that
  // the rebuild on disk still needs.
  if (!store_ || servingFromMemory_ || (!snapshotStale_ && store_->changes() == changesAtSnapshot_)) return LxStatus::Ok();
  LxStatus status = WriteSnapshot();
  if (IsCorruption(status) && Recover(status).ok()) status = WriteSnapshot();
  if (!status.ok())
    __dlog_printf(kDlogError, kServerLogSource, "snapshot %s not written: %s", snapshotPath_.c_str(),
                  status.ToString().c_str());
  return status;
}

LxStatus StoreKeeper::WriteSnapshot() {
  if (!store_) return LxStatus::Unavailable("no database");
  LxStatus status = SnapshotWriter::Write(*store_, snapshotPath_, settings_.vfs);
  if (!status.ok()) return status;
  snapshotStale_ = false;
  changesAtSnapshot_ = store_->changes();
  __dlog_printf(kDlogInfo, kServerLogSource, "snapshot written to %s", snapshotPath_.c_str());
  return status;
}

void StoreKeeper::Close() {
  SnapshotIfChanged();
  store_.reset();
}

}  // namespace qet_cfgserver
