#include "StoreKeeper.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "Limits.h"
#include "RequestDispatcher.h"
#include "TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

using wire::Operation;

// Damage met while serving: the database is larger than SQLite's page
// cache (2 MB), and half of it is overwritten behind the open store, so a
// listing must read damaged pages from the file. The dispatcher has the
// keeper recover and answers from the rebuilt store (the damaged file's
// readable rows, the rest from the snapshot the clean stop wrote) instead of
// reporting a server error; later requests work, a second recovery never
// replaces the first damaged file, and an interrupted one is finished.
TEST(StoreKeeperTest, DamageMetWhileServingIsRecoveredAndTheRequestAnswered) {
  constexpr int kKeys = 400;  // 6.4 MB of values
  quenlo_test::TemporaryDirectory directory;
  const std::string database = directory.File("config.db");
  std::vector<ConfigRow> rows;
  for (int index = 0; index < kKeys; ++index)
    rows.push_back({"big", "s", "k" + std::to_string(1000 + index), std::string(wire::kMaxValueBytes, 'v')});
  {
    StoreKeeper writer(StoreSettings{database, {}, nullptr});
    std::uint64_t added = 0;
    ASSERT_TRUE(writer.Open().ok());
    ASSERT_TRUE(writer.store()->AddMissing(rows, &added).ok());
    // The defaults layer: one key the operator changed, one deleted.
    ASSERT_TRUE(writer.store()->AddMissingDefaults({{"big", "s", "k1000", "factory"}, {"big", "s", "gone", "factory"}},
                                                   &added).ok());
    writer.Close();
  }

  StoreKeeper keeper(StoreSettings{database, {}, nullptr});
  ASSERT_TRUE(keeper.Open().ok());
  const std::uintmax_t size = std::filesystem::file_size(database);
  {
    std::fstream file(database, std::ios::binary | std::ios::in | std::ios::out);
    std::mt19937 generator(6);
    std::string noise(size / 2, '\0');
    for (char& byte : noise) byte = static_cast<char>(generator() & 0xff);
    file.seekp(static_cast<std::streamoff>(size / 4));
    file.write(noise.data(), static_cast<std::streamsize>(noise.size()));
  }

  RequestDispatcher dispatcher(&keeper);
  const wire::Reply listing = dispatcher.Dispatch({Operation::kGetKeysAndValues, 0, "test", "", "big", "s", "", ""});
  EXPECT_EQ(listing.status, CfgItemStatus::kSuccess);
  EXPECT_EQ(listing.pairs.size(), std::size_t(kKeys));
  const auto damagedFiles = [&directory]() {  // the databases, not their companions
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(directory.path())) {
      const std::string name = entry.path().filename().string();
      const std::string suffix = name.substr(name.size() - 4);
      count += name.rfind("config.db.damaged-", 0) == 0 && suffix != "-wal" && suffix != "-shm";
    }
    return count;
  };
  EXPECT_EQ(damagedFiles(), 1);
  EXPECT_EQ(dispatcher.Dispatch({Operation::kSetValue, 0, "test", "", "big", "s", "new", "v"}).status,
            CfgItemStatus::kSuccess);
  EXPECT_EQ(dispatcher.Dispatch({Operation::kGetValue, 0, "test", "", "big", "s", "new", ""}).value, "v");

  std::vector<wire::Record> changes;  // recovery carried the defaults layer
  ASSERT_TRUE(keeper.store()->GetChanges({wire::ScopeLevel::kKey, "big", "s", "gone"}, &changes).ok());
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].kind, wire::RecordKind::kDeleted);

  ASSERT_TRUE(keeper.Recover(LxStatus::Corruption("again")).ok());
  EXPECT_EQ(damagedFiles(), 2);
  ASSERT_TRUE(keeper.store()->GetChanges({wire::ScopeLevel::kKey, "big", "s", "k1000"}, &(changes = {})).ok());
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].defaultValue, "factory");
  EXPECT_EQ(dispatcher.Dispatch({Operation::kGetValue, 0, "test", "", "big", "s", "new", ""}).value, "v");

  // A crash between moving the damaged file aside and renaming the rebuild
  // into place: the next start finishes the job.
  keeper.Close();
  std::filesystem::rename(database, database + ".rebuild");
  std::filesystem::remove(database + ".snapshot");  // the rebuild is all there is
  StoreKeeper restarted(StoreSettings{database, {}, nullptr});
  ASSERT_TRUE(restarted.Open().ok());
  std::string value;
  EXPECT_TRUE(restarted.store()->GetValue("big", "s", "new", &value).ok());
  EXPECT_EQ(value, "v");
  EXPECT_EQ(damagedFiles(), 2);
}

}  // namespace
}  // namespace qet_cfgserver
