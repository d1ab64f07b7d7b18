#include "tests/support/FaultInjectingVfs.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "tests/support/TemporaryDirectory.h"

namespace quenlo_test {

namespace {

// What SQLite allocates for each open file: this, then the real VFS's file.
struct ShimFile {
  sqlite3_file base;
  FaultInjectingVfs* owner;
  std::string* path;    // null for a temporary file
  bool syncsDirectory;  // the unix VFS's UNIXFILE_DIRSYNC
  sqlite3_file* real;
};

constexpr int kAlignment = 8;
constexpr int kShimFileBytes = (sizeof(ShimFile) + kAlignment - 1) / kAlignment * kAlignment;

// The file types whose creation the unix VFS makes durable at their first sync.
constexpr int kFileTypeMask = 0x0FFF00;
constexpr int kTypesSyncingTheirDirectory[] = {SQLITE_OPEN_MAIN_JOURNAL, SQLITE_OPEN_SUPER_JOURNAL, SQLITE_OPEN_WAL};

bool SyncsDirectoryAtFirstSync(int flags) {
  if ((flags & SQLITE_OPEN_CREATE) == 0) return false;
  const int type = flags & kFileTypeMask;
  return std::find(std::begin(kTypesSyncingTheirDirectory), std::end(kTypesSyncingTheirDirectory), type) !=
         std::end(kTypesSyncingTheirDirectory);
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool ReadWholeFile(const std::string& path, std::string* content) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) return false;
  content->resize(static_cast<std::size_t>(file.tellg()));
  file.seekg(0);
  return content->empty() || file.read(&(*content)[0], static_cast<std::streamsize>(content->size()));
}

bool FileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

}  // namespace

// Each hook finds its shim through the VFS's pAppData or the file's owner.
struct FaultInjectingVfs::Hooks {
  static FaultInjectingVfs* Owner(sqlite3_vfs* vfs) { return static_cast<FaultInjectingVfs*>(vfs->pAppData); }
  static ShimFile* Shim(sqlite3_file* file) { return reinterpret_cast<ShimFile*>(file); }
  static sqlite3_file* Real(sqlite3_file* file) { return Shim(file)->real; }

  static int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    FaultInjectingVfs* owner = Owner(vfs);
    ShimFile* shim = Shim(file);
    shim->base.pMethods = nullptr;
    shim->owner = owner;
    shim->path = nullptr;
    shim->syncsDirectory = false;
    shim->real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + kShimFileBytes);
    shim->real->pMethods = nullptr;

    std::lock_guard<std::mutex> lock(owner->mutex_);
    const bool creates = name != nullptr && (flags & SQLITE_OPEN_CREATE) != 0 && !FileExists(name);
    if (creates) {
      const int dead = owner->ChangingCall(SQLITE_CANTOPEN);
      if (dead != SQLITE_OK) return dead;
    }
    const int result = owner->real_->xOpen(owner->real_, name, shim->real, flags, outFlags);
    if (result != SQLITE_OK) {
      if (shim->real->pMethods != nullptr) shim->real->pMethods->xClose(shim->real);
      return result;
    }
    if (name != nullptr) {
      shim->path = new std::string(name);
      shim->syncsDirectory = SyncsDirectoryAtFirstSync(flags);
      if (creates) owner->createdUnsynced_.insert(*shim->path);
    }
    shim->base.pMethods = &owner->methods_;
    return SQLITE_OK;
  }

  static int Delete(sqlite3_vfs* vfs, const char* name, int syncDirectory) {
    FaultInjectingVfs* owner = Owner(vfs);
    std::lock_guard<std::mutex> lock(owner->mutex_);
    const int dead = owner->ChangingCall(SQLITE_IOERR_DELETE);
    if (dead != SQLITE_OK) return dead;
    const std::string path(name);
    // What the disk still holds once the unlink is lost: the content as of
    // the last sync, unless the file's creation was not durable either.
    const bool entryDurable = owner->createdUnsynced_.count(path) == 0 && FileExists(path);
    std::string durable;
    if (entryDurable && !owner->DurableContent(path, &durable).ok()) return SQLITE_IOERR_DELETE;
    // The shim models the directory sync; the real one is not needed.
    const int result = owner->real_->xDelete(owner->real_, name, 0);
    if (result != SQLITE_OK) return result;
    owner->ForgetWrites(path);
    owner->createdUnsynced_.erase(path);
    if (entryDurable) owner->deletedUnsynced_[path] = durable;
    if (syncDirectory) owner->SyncedDirectory(DirectoryOf(path));
    return SQLITE_OK;
  }

  static int Close(sqlite3_file* file) {
    ShimFile* shim = Shim(file);
    const int result = shim->real->pMethods->xClose(shim->real);
    delete shim->path;
    shim->path = nullptr;
    return result;
  }

  static int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
    ShimFile* shim = Shim(file);
    FaultInjectingVfs* owner = shim->owner;
    std::lock_guard<std::mutex> lock(owner->mutex_);
    const int dead = owner->ChangingCall(SQLITE_IOERR_WRITE);
    if (dead != SQLITE_OK) return dead;
    if (owner->diskFull_) return SQLITE_FULL;
    if (shim->path != nullptr && owner->RecordUndo(*shim->path, shim->real, offset, amount) != SQLITE_OK)
      return SQLITE_IOERR_WRITE;
    return shim->real->pMethods->xWrite(shim->real, data, amount, offset);
  }

  static int Truncate(sqlite3_file* file, sqlite3_int64 size) {
    ShimFile* shim = Shim(file);
    FaultInjectingVfs* owner = shim->owner;
    std::lock_guard<std::mutex> lock(owner->mutex_);
    const int dead = owner->ChangingCall(SQLITE_IOERR_TRUNCATE);
    if (dead != SQLITE_OK) return dead;
    sqlite3_int64 current = 0;
    if (shim->real->pMethods->xFileSize(shim->real, &current) != SQLITE_OK) return SQLITE_IOERR_TRUNCATE;
    if (shim->path != nullptr &&
        owner->RecordUndo(*shim->path, shim->real, size, std::max<sqlite3_int64>(current - size, 0)) != SQLITE_OK)
      return SQLITE_IOERR_TRUNCATE;
    return shim->real->pMethods->xTruncate(shim->real, size);
  }

  // The shim keeps durability itself: no real fsync.
  static int Sync(sqlite3_file* file, int /*flags*/) {
    ShimFile* shim = Shim(file);
    FaultInjectingVfs* owner = shim->owner;
    std::lock_guard<std::mutex> lock(owner->mutex_);
    const int dead = owner->ChangingCall(SQLITE_IOERR_FSYNC);
    if (dead != SQLITE_OK) return dead;
    if (shim->path == nullptr) return SQLITE_OK;
    owner->ForgetWrites(*shim->path);
    if (shim->syncsDirectory) owner->SyncedDirectory(DirectoryOf(*shim->path));
    shim->syncsDirectory = false;
    return SQLITE_OK;
  }

  // The rest passes straight through to the real file.
  static int Read(sqlite3_file* file, void* data, int amount, sqlite3_int64 offset) {
    return Real(file)->pMethods->xRead(Real(file), data, amount, offset);
  }
  static int FileSize(sqlite3_file* file, sqlite3_int64* size) {
    return Real(file)->pMethods->xFileSize(Real(file), size);
  }
  static int Lock(sqlite3_file* file, int level) { return Real(file)->pMethods->xLock(Real(file), level); }
  static int Unlock(sqlite3_file* file, int level) { return Real(file)->pMethods->xUnlock(Real(file), level); }
  static int CheckReservedLock(sqlite3_file* file, int* reserved) {
    return Real(file)->pMethods->xCheckReservedLock(Real(file), reserved);
  }
  static int FileControl(sqlite3_file* file, int operation, void* argument) {
    return Real(file)->pMethods->xFileControl(Real(file), operation, argument);
  }
  static int SectorSize(sqlite3_file* file) { return Real(file)->pMethods->xSectorSize(Real(file)); }
  static int DeviceCharacteristics(sqlite3_file* file) {
    return Real(file)->pMethods->xDeviceCharacteristics(Real(file));
  }
  static int ShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** memory) {
    return Real(file)->pMethods->xShmMap(Real(file), region, size, extend, memory);
  }
  static int ShmLock(sqlite3_file* file, int offset, int count, int flags) {
    return Real(file)->pMethods->xShmLock(Real(file), offset, count, flags);
  }
  static void ShmBarrier(sqlite3_file* file) { Real(file)->pMethods->xShmBarrier(Real(file)); }
  static int ShmUnmap(sqlite3_file* file, int deleteFlag) {
    return Real(file)->pMethods->xShmUnmap(Real(file), deleteFlag);
  }
  static int Fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** pointer) {
    return Real(file)->pMethods->xFetch(Real(file), offset, amount, pointer);
  }
  static int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* pointer) {
    return Real(file)->pMethods->xUnfetch(Real(file), offset, pointer);
  }
};

FaultInjectingVfs::FaultInjectingVfs(const std::string& name) : name_(name), real_(sqlite3_vfs_find(nullptr)) {
  // Everything but opening and deleting files is the unix VFS's own: its
  // other calls do not look at the VFS they are called through.
  vfs_ = *real_;
  vfs_.iVersion = 2;  // without the system-call overrides
  vfs_.szOsFile = kShimFileBytes + real_->szOsFile;
  vfs_.pNext = nullptr;
  vfs_.zName = name_.c_str();
  vfs_.pAppData = this;
  vfs_.xOpen = Hooks::Open;
  vfs_.xDelete = Hooks::Delete;
  methods_ = sqlite3_io_methods();
  methods_.iVersion = 3;
  methods_.xClose = Hooks::Close;
  methods_.xRead = Hooks::Read;
  methods_.xWrite = Hooks::Write;
  methods_.xTruncate = Hooks::Truncate;
  methods_.xSync = Hooks::Sync;
  methods_.xFileSize = Hooks::FileSize;
  methods_.xLock = Hooks::Lock;
  methods_.xUnlock = Hooks::Unlock;
  methods_.xCheckReservedLock = Hooks::CheckReservedLock;
  methods_.xFileControl = Hooks::FileControl;
  methods_.xSectorSize = Hooks::SectorSize;
  methods_.xDeviceCharacteristics = Hooks::DeviceCharacteristics;
  methods_.xShmMap = Hooks::ShmMap;
  methods_.xShmLock = Hooks::ShmLock;
  methods_.xShmBarrier = Hooks::ShmBarrier;
  methods_.xShmUnmap = Hooks::ShmUnmap;
  methods_.xFetch = Hooks::Fetch;
  methods_.xUnfetch = Hooks::Unfetch;

  sqlite3_vfs_register(&vfs_, 0);
}

FaultInjectingVfs::~FaultInjectingVfs() { sqlite3_vfs_unregister(&vfs_); }

void FaultInjectingVfs::CutPowerAfter(std::uint64_t changingCalls) {
  std::lock_guard<std::mutex> lock(mutex_);
  armed_ = true;
  callsBeforeCut_ = changingCalls;
}

bool FaultInjectingVfs::powerCut() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dead_;
}

std::size_t FaultInjectingVfs::unsyncedWrites() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return unsynced_.size();
}

void FaultInjectingVfs::SetDiskFull(bool full) {
  std::lock_guard<std::mutex> lock(mutex_);
  diskFull_ = full;
}

LxStatus FaultInjectingVfs::RestoreDurableState(std::size_t landedWrites) {
  std::lock_guard<std::mutex> lock(mutex_);
  LxStatus status;
  for (std::size_t index = unsynced_.size(); index > landedWrites && status.ok(); --index)
    if (createdUnsynced_.count(unsynced_[index - 1].path) == 0) status = Undo(unsynced_[index - 1]);
  for (const std::string& path : createdUnsynced_)
    if (status.ok() && unlink(path.c_str()) != 0 && FileExists(path)) status = LxStatus::IoError("cannot remove " + path);
  for (const auto& deleted : deletedUnsynced_)
    if (status.ok() && !WriteFile(deleted.first, deleted.second))
      status = LxStatus::IoError("cannot put back " + deleted.first);
  unsynced_.clear();
  createdUnsynced_.clear();
  deletedUnsynced_.clear();
  armed_ = false;
  dead_ = false;
  return status;
}

int FaultInjectingVfs::ChangingCall(int errorCode) {
  if (dead_) return errorCode;
  if (!armed_) return SQLITE_OK;
  if (callsBeforeCut_ == 0) {
    dead_ = true;
    return errorCode;
  }
  --callsBeforeCut_;
  return SQLITE_OK;
}

int FaultInjectingVfs::RecordUndo(const std::string& path, sqlite3_file* real, sqlite3_int64 offset,
                                  sqlite3_int64 length) {
  sqlite3_int64 size = 0;
  const int sized = real->pMethods->xFileSize(real, &size);
  if (sized != SQLITE_OK) return sized;
  UndoRecord record{path, offset, std::string(), size};
  if (offset < size) {
    record.oldBytes.resize(static_cast<std::size_t>(std::min(length, size - offset)));
    const int read = real->pMethods->xRead(real, &record.oldBytes[0], static_cast<int>(record.oldBytes.size()), offset);
    if (read != SQLITE_OK) return read;
  }
  unsynced_.push_back(std::move(record));
  return SQLITE_OK;
}

void FaultInjectingVfs::ForgetWrites(const std::string& path) {
  unsynced_.erase(std::remove_if(unsynced_.begin(), unsynced_.end(),
                                 [&path](const UndoRecord& record) { return record.path == path; }),
                  unsynced_.end());
}

void FaultInjectingVfs::SyncedDirectory(const std::string& directory) {
  for (auto created = createdUnsynced_.begin(); created != createdUnsynced_.end();)
    created = DirectoryOf(*created) == directory ? createdUnsynced_.erase(created) : std::next(created);
  for (auto deleted = deletedUnsynced_.begin(); deleted != deletedUnsynced_.end();)
    deleted = DirectoryOf(deleted->first) == directory ? deletedUnsynced_.erase(deleted) : std::next(deleted);
}

LxStatus FaultInjectingVfs::DurableContent(const std::string& path, std::string* content) const {
  if (!ReadWholeFile(path, content)) return LxStatus::IoError("cannot read " + path);
  for (auto record = unsynced_.rbegin(); record != unsynced_.rend(); ++record) {
    if (record->path != path) continue;
    const std::size_t offset = static_cast<std::size_t>(record->offset);
    if (!record->oldBytes.empty()) {
      content->resize(std::max(content->size(), offset + record->oldBytes.size()));
      content->replace(offset, record->oldBytes.size(), record->oldBytes);
    }
    content->resize(static_cast<std::size_t>(record->sizeBefore));
  }
  return LxStatus::Ok();
}

LxStatus FaultInjectingVfs::Undo(const UndoRecord& record) {
  const int file = open(record.path.c_str(), O_WRONLY | O_CLOEXEC);
  // Removed or renamed outside SQLite: such calls count as durable at once.
  if (file < 0 && errno == ENOENT) return LxStatus::Ok();
  if (file < 0) return LxStatus::IoError("cannot open " + record.path + " to restore it");
  const ssize_t length = static_cast<ssize_t>(record.oldBytes.size());
  const bool restored = pwrite(file, record.oldBytes.data(), record.oldBytes.size(), record.offset) == length &&
                        ftruncate(file, record.sizeBefore) == 0;
  close(file);
  return restored ? LxStatus::Ok() : LxStatus::IoError("cannot restore " + record.path);
}

}  // namespace quenlo_test
