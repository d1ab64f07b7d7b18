#include "store/WalWriteBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "store/StoreDatabase.h"
#include "tests/support/FaultInjectingVfs.h"
#include "tests/support/TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

// The default VFS, recording in order each write ('w') and sync ('s') that
// reaches a write-ahead log, and the largest write. One at a time: its file hooks find it through
// a static.
class LogCallRecorder {
 public:
  LogCallRecorder() : below_(sqlite3_vfs_find(nullptr)), vfs_(*below_) {
    // The default VFS's other calls do not look at the VFS they come through.
    vfs_.iVersion = 2;
    vfs_.pNext = nullptr;
    vfs_.zName = "quenlo-log-call-recorder";
    vfs_.xOpen = Open;
    current_ = this;
    sqlite3_vfs_register(&vfs_, 0);
  }
  ~LogCallRecorder() {
    sqlite3_vfs_unregister(&vfs_);
    current_ = nullptr;
  }

  const char* name() const { return vfs_.zName; }
  std::string calls;
  int largestWrite = 0;

 private:
  // A log is the default VFS's file, opened in place, with these methods.
  static int Open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    const int result = current_->below_->xOpen(current_->below_, name, file, flags, outFlags);
    if (result != SQLITE_OK || (flags & SQLITE_OPEN_WAL) == 0) return result;
    current_->belowMethods_ = file->pMethods;
    current_->logMethods_ = *file->pMethods;
    current_->logMethods_.xWrite = Write;
    current_->logMethods_.xSync = Sync;
    file->pMethods = &current_->logMethods_;
    return SQLITE_OK;
  }
  static int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
    current_->calls += 'w';
    current_->largestWrite = std::max(current_->largestWrite, amount);
    return current_->belowMethods_->xWrite(file, data, amount, offset);
  }
  static int Sync(sqlite3_file* file, int flags) {
    current_->calls += 's';
    return current_->belowMethods_->xSync(file, flags);
  }

  static LogCallRecorder* current_;
  sqlite3_vfs* below_;
  sqlite3_vfs vfs_;
  const sqlite3_io_methods* belowMethods_ = nullptr;
  sqlite3_io_methods logMethods_ = sqlite3_io_methods();
};

LogCallRecorder* LogCallRecorder::current_ = nullptr;

constexpr const char* kCreateTable = "CREATE TABLE rows(id INTEGER PRIMARY KEY, value BLOB)";
// Each row most of a 1 KiB page, its value telling its id.
constexpr const char* kInsertRow = "INSERT INTO rows(value) VALUES (printf('%0900d', (SELECT count(*) FROM rows)))";
constexpr const char* kCountIntactRows = "SELECT count(*) FROM rows WHERE value = printf('%0900d', id - 1)";

LxStatus InsertRows(StoreDatabase* database, int rows) {
  return database->InTransaction("cannot commit rows", [&]() {
    LxStatus status;
    for (int row = 0; row < rows && status.ok(); ++row) status = database->Execute(kInsertRow);
    return status;
  });
}

std::int64_t IntactRows(StoreDatabase* database) {
  SqliteStatement count;
  std::int64_t rows = -1;
  if (!database->Prepare(&count, kCountIntactRows).ok()) return rows;
  if (!database->Query(&count, "cannot count rows", [&](const SqliteStatement& row) { rows = row.ColumnInt(0); })
           .ok())
    return -1;
  return rows;
}

// A commit of a few frames reaches the log as one write, then its sync; a
// larger one in writes each within the bound, 7 frames of a 1 KiB page.
TEST(WalWriteBufferTest, EachCommitReachesTheLogInWritesWithinTheBoundBeforeItsSync) {
  quenlo_test::TemporaryDirectory directory;
  LogCallRecorder recorder;
  std::unique_ptr<StoreDatabase> database;
  ASSERT_TRUE(StoreDatabase::Open(directory.File("config.db"), recorder.name(), &database).ok());
  ASSERT_TRUE(database->Execute(kCreateTable).ok());
  recorder.calls.clear();
  for (int commit = 0; commit < 3; ++commit) ASSERT_TRUE(InsertRows(database.get(), 3).ok());
  EXPECT_EQ(recorder.calls, "wswsws");

  recorder.calls.clear();
  ASSERT_TRUE(InsertRows(database.get(), 40).ok());
  EXPECT_LE(recorder.largestWrite, WalWriteBuffer::kMaxBufferedBytes);
  EXPECT_LE(std::count(recorder.calls.begin(), recorder.calls.end(), 'w'), 8) << recorder.calls;
  EXPECT_EQ(recorder.calls.back(), 's');
  EXPECT_EQ(IntactRows(database.get()), 49);
}

// A transaction larger than the page cache spills frames to the log before
// its commit, and reads them back: it must find them there.
TEST(WalWriteBufferTest, ReadsInATransactionSeeTheFramesItSpilled) {
  quenlo_test::TemporaryDirectory directory;
  std::unique_ptr<StoreDatabase> database;
  ASSERT_TRUE(StoreDatabase::Open(directory.File("config.db"), nullptr, &database).ok());
  ASSERT_TRUE(database->Execute(kCreateTable).ok());
  ASSERT_TRUE(database->Execute("PRAGMA cache_size=10").ok());
  std::int64_t seen = 0;
  const LxStatus status = database->InTransaction("cannot commit rows", [&]() {
    for (int row = 0; row < 300; ++row) {
      const LxStatus inserted = database->Execute(kInsertRow);
      if (!inserted.ok()) return inserted;
    }
    seen = IntactRows(database.get());
    return LxStatus::Ok();
  });
  ASSERT_TRUE(status.ok()) << status.ToString();
  EXPECT_EQ(seen, 300);
  database.reset();
  ASSERT_TRUE(StoreDatabase::Open(directory.File("config.db"), nullptr, &database).ok());
  EXPECT_EQ(IntactRows(database.get()), 300);
}

// A full disk met when the held frames go down fails the commit as SQLite's
// full disk, keeps what was committed, and the next commit once there is
// room again succeeds.
TEST(WalWriteBufferTest, AFullDiskAtTheWriteDownFailsTheCommitAsAFullDisk) {
  quenlo_test::TemporaryDirectory directory;
  quenlo_test::FaultInjectingVfs vfs("quenlo-wal-buffer-full-disk");
  std::unique_ptr<StoreDatabase> database;
  ASSERT_TRUE(StoreDatabase::Open(directory.File("config.db"), vfs.name(), &database).ok());
  ASSERT_TRUE(database->Execute(kCreateTable).ok());
  ASSERT_TRUE(InsertRows(database.get(), 5).ok());
  vfs.SetDiskFull(true);
  const LxStatus full = InsertRows(database.get(), 5);
  EXPECT_NE(full.message().find(sqlite3_errstr(SQLITE_FULL)), std::string::npos) << full.ToString();
  EXPECT_EQ(IntactRows(database.get()), 5);
  vfs.SetDiskFull(false);
  ASSERT_TRUE(InsertRows(database.get(), 5).ok());
  database.reset();
  ASSERT_TRUE(StoreDatabase::Open(directory.File("config.db"), vfs.name(), &database).ok());
  EXPECT_EQ(IntactRows(database.get()), 10);
}

}  // namespace
}  // namespace qet_cfgserver
