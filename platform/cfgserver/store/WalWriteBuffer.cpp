#include "store/WalWriteBuffer.h"

#include <string.h>

#include <atomic>

namespace qet_cfgserver {

namespace {

// What SQLite allocates for a write-ahead log: this, then the file of the
// VFS below. The held bytes' buffer is taken whole from SQLite's allocator
// when the log opens: holding a write then never allocates, or fails.
struct LogFile {
  sqlite3_file base;
  sqlite3_file* below;
  sqlite3_int64 heldOffset;  // where the held bytes belong in the file
  unsigned char* held;       // kMaxBufferedBytes
  int heldBytes;
};

constexpr int kAlignment = 8;
constexpr int kLogFileBytes = (sizeof(LogFile) + kAlignment - 1) / kAlignment * kAlignment;

// Tells apart the shims of the stores a process opens at once.
std::atomic<unsigned long> shimsCreated{0};

LogFile* Log(sqlite3_file* file) { return reinterpret_cast<LogFile*>(file); }

sqlite3_file* Below(sqlite3_file* file) { return Log(file)->below; }

// Sends the held bytes down in one write and forgets them, whether or not
// the write succeeds.
int SendHeld(LogFile* log) {
  if (log->heldBytes == 0) return SQLITE_OK;
  const int result = log->below->pMethods->xWrite(log->below, log->held, log->heldBytes, log->heldOffset);
  log->heldBytes = 0;
  return result;
}

// Whether amount bytes at offset may join the held ones.
bool Continues(const LogFile& log, sqlite3_int64 offset, int amount) {
  return offset == log.heldOffset + log.heldBytes && amount <= WalWriteBuffer::kMaxBufferedBytes - log.heldBytes;
}

bool Overlaps(const LogFile& log, sqlite3_int64 offset, int amount) {
  return log.heldBytes > 0 && offset < log.heldOffset + log.heldBytes && log.heldOffset < offset + amount;
}

}  // namespace

// The VFS's pAppData is the VFS below; a log file's methods are these.
struct WalWriteBuffer::Hooks {
  static sqlite3_vfs* BelowVfs(sqlite3_vfs* vfs) { return static_cast<sqlite3_vfs*>(vfs->pAppData); }

  static int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    sqlite3_vfs* below = BelowVfs(vfs);
    // Every other file is opened in place by the VFS below, with its own
    // methods: nothing of the shim is on its path.
    if ((flags & SQLITE_OPEN_WAL) == 0) return below->xOpen(below, name, file, flags, outFlags);
    LogFile* log = Log(file);
    log->base.pMethods = nullptr;  // until open: SQLite then calls no xClose
    log->below = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + kLogFileBytes);
    log->below->pMethods = nullptr;
    log->heldOffset = 0;
    log->heldBytes = 0;
    log->held = static_cast<unsigned char*>(sqlite3_malloc(kMaxBufferedBytes));
    if (log->held == nullptr) return SQLITE_NOMEM;
    const int result = below->xOpen(below, name, log->below, flags, outFlags);
    if (result != SQLITE_OK) {
      if (log->below->pMethods != nullptr) log->below->pMethods->xClose(log->below);
      sqlite3_free(log->held);
      return result;
    }
    log->base.pMethods = &kLogMethods;
    return SQLITE_OK;
  }

  static int Close(sqlite3_file* file) {
    LogFile* log = Log(file);
    const int sent = SendHeld(log);
    const int closed = log->below->pMethods->xClose(log->below);
    sqlite3_free(log->held);
    log->held = nullptr;
    return sent != SQLITE_OK ? sent : closed;
  }

  static int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
    LogFile* log = Log(file);
    if (!Continues(*log, offset, amount)) {
      const int sent = SendHeld(log);
      if (sent != SQLITE_OK) return sent;
    }
    if (amount > kMaxBufferedBytes) return log->below->pMethods->xWrite(log->below, data, amount, offset);
    if (log->heldBytes == 0) log->heldOffset = offset;
    memcpy(log->held + log->heldBytes, data, static_cast<size_t>(amount));
    log->heldBytes += amount;
    return SQLITE_OK;
  }

  static int Read(sqlite3_file* file, void* data, int amount, sqlite3_int64 offset) {
    LogFile* log = Log(file);
    if (Overlaps(*log, offset, amount)) {
      const int sent = SendHeld(log);
      if (sent != SQLITE_OK) return sent;
    }
    return log->below->pMethods->xRead(log->below, data, amount, offset);
  }

  static int Sync(sqlite3_file* file, int flags) {
    const int sent = SendHeld(Log(file));
    if (sent != SQLITE_OK) return sent;
    return Below(file)->pMethods->xSync(Below(file), flags);
  }

  static int Truncate(sqlite3_file* file, sqlite3_int64 size) {
    const int sent = SendHeld(Log(file));
    if (sent != SQLITE_OK) return sent;
    return Below(file)->pMethods->xTruncate(Below(file), size);
  }

  static int FileSize(sqlite3_file* file, sqlite3_int64* size) {
    const int sent = SendHeld(Log(file));
    if (sent != SQLITE_OK) return sent;
    return Below(file)->pMethods->xFileSize(Below(file), size);
  }

  // Whatever a file control does, it sees the log as written.
  static int FileControl(sqlite3_file* file, int operation, void* argument) {
    const int sent = SendHeld(Log(file));
    if (sent != SQLITE_OK) return sent;
    return Below(file)->pMethods->xFileControl(Below(file), operation, argument);
  }

  static int Lock(sqlite3_file* file, int level) { return Below(file)->pMethods->xLock(Below(file), level); }
  static int Unlock(sqlite3_file* file, int level) { return Below(file)->pMethods->xUnlock(Below(file), level); }
  static int CheckReservedLock(sqlite3_file* file, int* reserved) {
    return Below(file)->pMethods->xCheckReservedLock(Below(file), reserved);
  }
  static int SectorSize(sqlite3_file* file) { return Below(file)->pMethods->xSectorSize(Below(file)); }
  static int DeviceCharacteristics(sqlite3_file* file) {
    return Below(file)->pMethods->xDeviceCharacteristics(Below(file));
  }

  // The rest of the VFS is the one below's, called with that VFS: its
  // methods may look at their own pAppData.
  static int Delete(sqlite3_vfs* vfs, const char* name, int syncDirectory) {
    return BelowVfs(vfs)->xDelete(BelowVfs(vfs), name, syncDirectory);
  }
  static int Access(sqlite3_vfs* vfs, const char* name, int flags, int* result) {
    return BelowVfs(vfs)->xAccess(BelowVfs(vfs), name, flags, result);
  }
  static int FullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out) {
    return BelowVfs(vfs)->xFullPathname(BelowVfs(vfs), name, size, out);
  }
  static void* DlOpen(sqlite3_vfs* vfs, const char* name) { return BelowVfs(vfs)->xDlOpen(BelowVfs(vfs), name); }
  static void DlError(sqlite3_vfs* vfs, int size, char* message) {
    BelowVfs(vfs)->xDlError(BelowVfs(vfs), size, message);
  }
  static void (*DlSym(sqlite3_vfs* vfs, void* library, const char* symbol))(void) {
    return BelowVfs(vfs)->xDlSym(BelowVfs(vfs), library, symbol);
  }
  static void DlClose(sqlite3_vfs* vfs, void* library) { BelowVfs(vfs)->xDlClose(BelowVfs(vfs), library); }
  static int Randomness(sqlite3_vfs* vfs, int size, char* out) {
    return BelowVfs(vfs)->xRandomness(BelowVfs(vfs), size, out);
  }
  static int Sleep(sqlite3_vfs* vfs, int microseconds) { return BelowVfs(vfs)->xSleep(BelowVfs(vfs), microseconds); }
  static int CurrentTime(sqlite3_vfs* vfs, double* now) { return BelowVfs(vfs)->xCurrentTime(BelowVfs(vfs), now); }
  static int GetLastError(sqlite3_vfs* vfs, int size, char* message) {
    return BelowVfs(vfs)->xGetLastError(BelowVfs(vfs), size, message);
  }
  static int CurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* now) {
    return BelowVfs(vfs)->xCurrentTimeInt64(BelowVfs(vfs), now);
  }

  // Version 1: a log has no shared memory and is never memory-mapped (both
  // are the database file's).
  static constexpr sqlite3_io_methods kLogMethods = {
      1, Close, Read, Write, Truncate, Sync, FileSize, Lock, Unlock, CheckReservedLock, FileControl, SectorSize,
      DeviceCharacteristics, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
};

LxStatus WalWriteBuffer::Create(const char* below, std::unique_ptr<WalWriteBuffer>* shim) {
  sqlite3_vfs* found = sqlite3_vfs_find(below);
  if (found == nullptr)
    return LxStatus::InvalidArgument(std::string("no SQLite VFS named ") + (below != nullptr ? below : "(default)"));
  std::unique_ptr<WalWriteBuffer> made(new WalWriteBuffer(found));
  const int result = sqlite3_vfs_register(&made->vfs_, 0);
  if (result != SQLITE_OK)
    return LxStatus::IoError(std::string("cannot register an SQLite VFS: ") + sqlite3_errstr(result));
  *shim = std::move(made);
  return LxStatus::Ok();
}

WalWriteBuffer::WalWriteBuffer(sqlite3_vfs* below)
    : name_("quenlo-wal-buffer-" + std::to_string(++shimsCreated)), vfs_() {
  vfs_.iVersion = below->iVersion >= 2 ? 2 : 1;  // without the system-call overrides
  vfs_.szOsFile = kLogFileBytes + below->szOsFile;
  vfs_.mxPathname = below->mxPathname;
  vfs_.zName = name_.c_str();
  vfs_.pAppData = below;
  vfs_.xOpen = Hooks::Open;
  vfs_.xDelete = Hooks::Delete;
  vfs_.xAccess = Hooks::Access;
  vfs_.xFullPathname = Hooks::FullPathname;
  vfs_.xDlOpen = Hooks::DlOpen;
  vfs_.xDlError = Hooks::DlError;
  vfs_.xDlSym = Hooks::DlSym;
  vfs_.xDlClose = Hooks::DlClose;
  vfs_.xRandomness = Hooks::Randomness;
  vfs_.xSleep = Hooks::Sleep;
  vfs_.xCurrentTime = Hooks::CurrentTime;
  vfs_.xGetLastError = Hooks::GetLastError;
  if (vfs_.iVersion >= 2 && below->xCurrentTimeInt64 != nullptr) vfs_.xCurrentTimeInt64 = Hooks::CurrentTimeInt64;
}

WalWriteBuffer::~WalWriteBuffer() { sqlite3_vfs_unregister(&vfs_); }

}  // namespace qet_cfgserver
