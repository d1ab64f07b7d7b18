#include "recovery/StoreKeeper.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "cfgwire/Limits.h"
#include "recovery/RunRecoveringOnce.h"
#include "tests/support/FaultInjectingVfs.h"
#include "tests/support/TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

// Overwrites the middle half of the file at path with noise, behind the
// open store: a store larger than SQLite's page cache (2 MB) must then read
// damaged pages from the file.
void DamageMiddleHalf(const std::string& path) {
  const std::uintmax_t size = std::filesystem::file_size(path);
  std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
  std::mt19937 generator(6);
  std::string noise(size / 2, '\0');
  for (char& byte : noise) byte = static_cast<char>(generator() & 0xff);
  file.seekp(static_cast<std::streamoff>(size / 4));
  file.write(noise.data(), static_cast<std::streamsize>(noise.size()));
}

std::vector<ConfigStore::ValueWrite> Writes(const std::vector<ConfigRow>& rows) {
  std::vector<ConfigStore::ValueWrite> writes;
  for (const ConfigRow& row : rows) writes.push_back(ConfigStore::ValueWrite{row, ChangeNote()});
  return writes;
}

class StoreKeeperTest : public ::testing::Test {
 protected:
  // The databases moved aside, not their companions.
  int DamagedFiles() const {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(directory_.path())) {
      const std::string name = entry.path().filename().string();
      const std::string suffix = name.substr(name.size() - 4);
      count += name.rfind("config.db.damaged-", 0) == 0 && suffix != "-wal" && suffix != "-shm";
    }
    return count;
  }

  quenlo_test::TemporaryDirectory directory_;
  const std::string database_ = directory_.File("config.db");
};

// Damage met while reading, and then while writing: the keeper recovers
// (the damaged file's readable rows, the rest from the snapshot the clean
// stop wrote, the defaults layer carried along) and the work runs once more
// on the rebuilt store instead of failing; each recovery keeps its own
// damaged file.
TEST_F(StoreKeeperTest, DamageMetAfterTheStartIsRecoveredAndTheWorkDoneOnTheRebuiltStore) {
  constexpr int kKeys = 400;  // 6.4 MB of values
  std::vector<ConfigRow> rows;
  for (int index = 0; index < kKeys; ++index)
    rows.push_back({"net", "eth0", "k" + std::to_string(1000 + index), std::string(wire::kMaxValueBytes, 'v')});
  {
    StoreKeeper writer(StoreSettings{database_, {}, nullptr});
    std::uint64_t added = 0;
    ASSERT_TRUE(writer.Open().ok());
    ASSERT_TRUE(writer.store()->recovery().AddMissing(rows, &added).ok());
    // The defaults layer: one key the operator changed, one deleted.
    const std::vector<ConfigRow> defaults = {{"net", "eth0", "k1000", "factory"}, {"net", "eth0", "gone", "factory"}};
    ASSERT_TRUE(writer.store()->recovery().AddMissingDefaults(defaults, &added).ok());
    writer.Close();
  }
  StoreKeeper keeper(StoreSettings{database_, {}, nullptr});
  ASSERT_TRUE(keeper.Open().ok());
  DamageMiddleHalf(database_);
  std::vector<wire::KeyValue> pairs;
  const LxStatus listed = RunRecoveringOnce(&keeper, "listing", [&pairs](ConfigStore* store) {
    pairs.clear();
    return store->GetKeysAndValues("net", "eth0", &pairs);
  });
  EXPECT_TRUE(listed.ok()) << listed.ToString();
  EXPECT_EQ(pairs.size(), std::size_t(kKeys));
  EXPECT_EQ(DamagedFiles(), 1);
  std::vector<wire::Record> changes;  // recovery carried the defaults layer
  ASSERT_TRUE(keeper.store()->layers().GetChanges({ConfigScope::Level::kKey, "net", "eth0", "gone"}, &changes).ok());
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].kind, wire::RecordKind::kDeleted);

  DamageMiddleHalf(database_);
  const std::vector<ConfigRow> writes = {{"net", "eth0", "k1200", "new"}, {"net", "eth0", "fresh", "1"}};
  const LxStatus written = RunRecoveringOnce(&keeper, "2 writes", [&writes](ConfigStore* store) {
    std::vector<CommittedRevision> made;
    return store->SetValues(Writes(writes), &made);
  });
  EXPECT_TRUE(written.ok()) << written.ToString();
  EXPECT_EQ(DamagedFiles(), 2);
  ASSERT_TRUE(
      keeper.store()->layers().GetChanges({ConfigScope::Level::kKey, "net", "eth0", "k1000"}, &(changes = {})).ok());
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].defaultValue, "factory");
  for (const ConfigRow& write : writes) {
    std::string value;
    EXPECT_TRUE(keeper.store()->GetValue(write.set, write.section, write.key, &value).ok() && value == write.value)
        << write.key;
  }
}

// A recovery interrupted between moving the damaged file aside and renaming
// the rebuild into place is finished at the next start.
TEST_F(StoreKeeperTest, ARecoveryInterruptedBeforeItsRenameIsFinishedAtTheNextStart) {
  {
    StoreKeeper writer(StoreSettings{database_, {}, nullptr});
    ASSERT_TRUE(writer.Open().ok());
    std::vector<CommittedRevision> made;
    ASSERT_TRUE(
        writer.store()->SetValues(Writes({{"net", "eth0", "k1200", "new"}, {"net", "eth0", "fresh", "1"}}), &made).ok());
    writer.Close();
  }
  std::filesystem::rename(database_, database_ + ".rebuild");
  std::filesystem::remove(database_ + ".snapshot");  // the rebuild is all there is
  StoreKeeper restarted(StoreSettings{database_, {}, nullptr});
  ASSERT_TRUE(restarted.Open().ok());
  for (auto [key, expected] : {std::pair<const char*, const char*>{"k1200", "new"}, {"fresh", "1"}}) {
    std::string value;
    EXPECT_TRUE(restarted.store()->GetValue("net", "eth0", key, &value).ok() && value == expected) << key;
  }
  EXPECT_EQ(DamagedFiles(), 0);
}

// Revision numbers are never reused: a rebuilt database continues after the
// highest that the damaged file or the snapshot holds, with no history
// before it.
TEST_F(StoreKeeperTest, ARebuiltDatabaseContinuesAfterTheHighestRevisionItCanRead) {
  const StoreSettings settings{database_, {}, nullptr};
  std::vector<CommittedRevision> made;
  {
    StoreKeeper writer(settings);
    ASSERT_TRUE(writer.Open().ok());
    ASSERT_TRUE(writer.store()->SetValues(Writes({{"net", "eth0", "mtu", "1500"}}), &made).ok());
    writer.Close();  // the snapshot holds revision 1
  }
  StoreKeeper keeper(settings);
  ASSERT_TRUE(keeper.Open().ok());
  ASSERT_TRUE(keeper.store()->SetValues(Writes({{"net", "eth0", "mtu", "9000"}, {"net", "eth0", "mtu", "1400"}}), &made)
                  .ok());
  ASSERT_TRUE(keeper.Recover(LxStatus::Corruption("a test")).ok());
  std::uint64_t current = 0, oldest = 0;
  ASSERT_TRUE(keeper.store()->revisions().Current(&current).ok());
  ASSERT_TRUE(keeper.store()->revisions().OldestKept(&oldest).ok());
  EXPECT_EQ(current, 3u);
  EXPECT_EQ(oldest, 4u);
  ASSERT_TRUE(keeper.store()->SetValues(Writes({{"net", "eth0", "mtu", "1500"}}), &made).ok());
  EXPECT_EQ(made[0].number, 4u);
}

// A damaged database found at a start on a full disk: the keeper serves
// what it recovered read-only from memory instead of failing, leaves the
// damaged file and the snapshot as they are and no rebuild behind; a write
// fails and changes nothing until a try of the rebuild finds room, then the
// rebuilt file takes over and the write lands.
class StoreKeeperOnAFullDiskTest : public StoreKeeperTest {
 protected:
  StoreKeeperOnAFullDiskTest() {
    {
      StoreKeeper writer(Settings(kNoRetryWait));
      std::uint64_t added = 0;
      EXPECT_TRUE(writer.Open().ok());
      std::vector<ConfigRow> rows = {{"net", "eth0", "address", "10.0.0.2"}, {"net", "eth0", "mtu", "1500"}};
      for (int index = 0; index < 40; ++index)  // pages for the damage to hit
        rows.push_back({"net", "eth1", "k" + std::to_string(index), std::string(wire::kMaxValueBytes, 'v')});
      EXPECT_TRUE(writer.store()->recovery().AddMissing(rows, &added).ok());
      writer.Close();  // writes the snapshot
    }
    snapshotBefore_ = Contents(database_ + ".snapshot");
    DamageMiddleHalf(database_);
    vfs_.SetDiskFull(true);
  }

  static constexpr std::chrono::seconds kNoRetryWait{0};

  StoreSettings Settings(std::chrono::seconds retryWait) const {
    StoreSettings settings{database_, {}, vfs_.name()};
    settings.rebuildRetryInterval = retryWait;
    return settings;
  }

  static std::string Contents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  }

  static LxStatus Write(StoreKeeper* keeper) {
    return RunRecoveringOnce(keeper, "1 write",
                             [](ConfigStore* store) {
                               CommittedRevision made;
                               return store->SetValue("net", "eth0", "mtu", "1400", ChangeNote(), &made);
                             });
  }

  static bool Holds(StoreKeeper* keeper, const std::string& key, const std::string& expected) {
    std::string value;
    return keeper->store()->GetValue("net", "eth0", key, &value).ok() && value == expected;
  }

  quenlo_test::FaultInjectingVfs vfs_{"full-disk-keeper"};
  std::string snapshotBefore_;
};

TEST_F(StoreKeeperOnAFullDiskTest, ServesReadOnlyFromMemoryUntilARebuildFindsRoom) {
  StoreKeeper keeper(Settings(kNoRetryWait));
  ASSERT_TRUE(keeper.Open().ok());
  EXPECT_TRUE(keeper.servingFromMemory());
  EXPECT_TRUE(Holds(&keeper, "address", "10.0.0.2"));
  EXPECT_EQ(Write(&keeper).code(), LxStatus::Code::kUnavailable);
  EXPECT_TRUE(Holds(&keeper, "mtu", "1500"));
  EXPECT_EQ(keeper.SnapshotIfChanged().code(), LxStatus::Code::kOk);
  EXPECT_EQ(Contents(database_ + ".snapshot"), snapshotBefore_);
  EXPECT_FALSE(std::filesystem::exists(database_ + ".rebuild"));
  EXPECT_EQ(DamagedFiles(), 0);

  vfs_.SetDiskFull(false);
  const LxStatus written = Write(&keeper);
  EXPECT_TRUE(written.ok()) << written.ToString();
  EXPECT_FALSE(keeper.servingFromMemory());
  EXPECT_EQ(DamagedFiles(), 1);
  keeper.Close();
  StoreKeeper restarted(Settings(kNoRetryWait));
  ASSERT_TRUE(restarted.Open().ok());
  EXPECT_TRUE(Holds(&restarted, "mtu", "1400"));
  EXPECT_TRUE(Holds(&restarted, "address", "10.0.0.2"));
}

// Each try reads the whole damaged file: refused writes cannot make the
// server do that more often than the interval allows.
TEST_F(StoreKeeperOnAFullDiskTest, RefusedWritesTryTheRebuildAtMostOncePerInterval) {
  StoreKeeper keeper(Settings(std::chrono::hours(1)));
  ASSERT_TRUE(keeper.Open().ok());
  vfs_.SetDiskFull(false);
  EXPECT_EQ(Write(&keeper).code(), LxStatus::Code::kUnavailable);
  EXPECT_TRUE(keeper.servingFromMemory());
  EXPECT_EQ(DamagedFiles(), 0);
}

}  // namespace
}  // namespace qet_cfgserver
