#include "store/StoreSchema.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include "store/ConfigStore.h"
#include "tests/support/TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

int PageSize(const std::string& path) {
  sqlite3* database = nullptr;
  sqlite3_stmt* pageSize = nullptr;
  int bytes = 0;
  if (sqlite3_open(path.c_str(), &database) == SQLITE_OK &&
      sqlite3_prepare_v2(database, "PRAGMA page_size", -1, &pageSize, nullptr) == SQLITE_OK &&
      sqlite3_step(pageSize) == SQLITE_ROW)
    bytes = sqlite3_column_int(pageSize, 0);
  sqlite3_finalize(pageSize);
  sqlite3_close(database);
  return bytes;
}

// Small pages, so that a single-key write wears the flash least: a new
// database is made with them.
TEST(StoreSchemaTest, ANewDatabaseHasSmallPages) {
  quenlo_test::TemporaryDirectory directory;
  std::unique_ptr<ConfigStore> store;
  ASSERT_TRUE(ConfigStore::Open(directory.File("config.db"), &store).ok());
  store.reset();
  EXPECT_EQ(PageSize(directory.File("config.db")), 1024);
}

// A database of the format before the defaults layer opens without loss,
// its rows becoming the operator's; a newer schema is refused untouched.
TEST(StoreSchemaTest, TodaysDatabasesAreMigratedAndNewerOnesRefused) {
  quenlo_test::TemporaryDirectory directory;
  const std::string path = directory.File("config.db");
  sqlite3* old = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &old), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(old,
                         "CREATE TABLE config (set_name BLOB NOT NULL, section_name BLOB NOT NULL, key_name BLOB NOT "
                         "NULL, value BLOB NOT NULL, PRIMARY KEY (set_name, section_name, key_name)) WITHOUT ROWID;"
                         "INSERT INTO config VALUES (X'6E6574', X'73', X'6B', X'00FF')",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(old);

  std::unique_ptr<ConfigStore> store;
  ASSERT_TRUE(ConfigStore::Open(path, &store).ok());
  std::vector<wire::KeyValue> pairs;
  ASSERT_TRUE(store->GetKeysAndValues("net", "s", &pairs).ok());
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].key + "=" + pairs[0].value, std::string("k=\0\xff", 4));
  std::vector<wire::Record> changes;
  ASSERT_TRUE(store->layers().GetChanges({}, &changes).ok());
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].kind, wire::RecordKind::kAdded);
  std::vector<std::string> names;  // listings read the names the migration listed
  ASSERT_TRUE(store->GetSets(&names).ok());
  EXPECT_EQ(names, std::vector<std::string>{"net"});
  ASSERT_TRUE(store->GetSections("net", &names).ok());
  EXPECT_EQ(names, std::vector<std::string>{"s"});
  store.reset();

  ASSERT_EQ(sqlite3_open(path.c_str(), &old), SQLITE_OK);
  const int newer = StoreSchema::kVersion + 1;
  const std::string setNewer = "PRAGMA user_version = " + std::to_string(newer);
  ASSERT_EQ(sqlite3_exec(old, setNewer.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(old);
  EXPECT_EQ(ConfigStore::Open(path, &store).code(), LxStatus::Code::kUnavailable);
  ASSERT_EQ(sqlite3_open(path.c_str(), &old), SQLITE_OK);
  sqlite3_stmt* version = nullptr;
  sqlite3_prepare_v2(old, "PRAGMA user_version", -1, &version, nullptr);
  ASSERT_EQ(sqlite3_step(version), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(version, 0), newer);
  sqlite3_finalize(version);
  sqlite3_close(old);
}

// A database from before history (version 2, without sections either, or
// version 3 with them) keeps both layers and lists its sections; its
// history starts empty at revision 0 and the first change is revision 1.
TEST(StoreSchemaTest, DatabasesFromBeforeHistoryStartItAtRevisionZero) {
  const std::string table = " (set_name BLOB NOT NULL, section_name BLOB NOT NULL, key_name BLOB NOT NULL, value BLOB "
                            "NOT NULL, PRIMARY KEY (set_name, section_name, key_name)) WITHOUT ROWID;";
  // Names as the store writes them, BLOBs: "net", "s", "k".
  const std::string layers = "CREATE TABLE config" + table + "CREATE TABLE defaults" + table +
                             "INSERT INTO config VALUES (X'6E6574', X'73', X'6B', 'operator');"
                             "INSERT INTO defaults VALUES (X'6E6574', X'73', X'6B', 'factory');";
  const std::string sections = "CREATE TABLE sections (set_name BLOB NOT NULL, section_name BLOB NOT NULL,"
                               " PRIMARY KEY (set_name, section_name)) WITHOUT ROWID;"
                               "INSERT INTO sections VALUES (X'6E6574', X'73');";
  for (const std::string& old : {layers + "PRAGMA user_version = 2", layers + sections + "PRAGMA user_version = 3"}) {
    quenlo_test::TemporaryDirectory directory;
    const std::string path = directory.File("config.db");
    sqlite3* database = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &database), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(database, old.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(database);

    std::unique_ptr<ConfigStore> store;
    ASSERT_TRUE(ConfigStore::Open(path, &store).ok());
    store.reset();
    EXPECT_EQ(PageSize(path), 1024);  // rebuilt once with small pages

    ASSERT_TRUE(ConfigStore::Open(path, &store).ok());
    std::vector<std::string> names;
    ASSERT_TRUE(store->GetSections("net", &names).ok());
    EXPECT_EQ(names, std::vector<std::string>{"s"});
    std::uint64_t revision = 99;
    ASSERT_TRUE(store->revisions().Current(&revision).ok());
    EXPECT_EQ(revision, 0u);
    CommittedRevision made;
    ASSERT_TRUE(store->layers().ResetScope({}, ChangeNote(), &made).ok());
    EXPECT_EQ(made.number, 1u);
    ASSERT_EQ(made.changes.size(), 1u);
    EXPECT_EQ(made.changes[0].before, "operator");
    EXPECT_EQ(made.changes[0].after, "factory");
  }
}

// Bytes of the write-ahead log of the database at path.
off_t LogBytes(const std::string& path) {
  struct stat status;
  return stat((path + "-wal").c_str(), &status) == 0 ? status.st_size : 0;
}

// What wears the flash: a rewrite of a key in a section already listed
// changes the key's page and the newest page of history, not the page of
// sections too, in a new database and in one of version 4, whose trigger
// rewrote it at every insert.
TEST(StoreSchemaTest, ARewriteInAListedSectionChangesTwoPages) {
  const char* versionFour =
      "DROP TRIGGER section_added;"
      "CREATE TRIGGER section_added AFTER INSERT ON config BEGIN"
      " INSERT OR IGNORE INTO sections VALUES (NEW.set_name, NEW.section_name); END;"
      "PRAGMA user_version = 4";
  for (const bool migrated : {false, true}) {
    quenlo_test::TemporaryDirectory directory;
    const std::string path = directory.File("config.db");
    std::unique_ptr<ConfigStore> store;
    ASSERT_TRUE(ConfigStore::Open(path, &store).ok());
    if (migrated) {
      store.reset();
      sqlite3* database = nullptr;
      ASSERT_EQ(sqlite3_open(path.c_str(), &database), SQLITE_OK);
      ASSERT_EQ(sqlite3_exec(database, versionFour, nullptr, nullptr, nullptr), SQLITE_OK);
      sqlite3_close(database);
      ASSERT_TRUE(ConfigStore::Open(path, &store).ok());
    }
    CommittedRevision made;
    ASSERT_TRUE(store->SetValue("net", "eth0", "address", "10.0.0.1", ChangeNote(), &made).ok());
    const off_t before = LogBytes(path);
    constexpr int kRewrites = 8;
    for (int rewrite = 0; rewrite < kRewrites; ++rewrite)
      ASSERT_TRUE(store->SetValue("net", "eth0", "address", "10.0.0." + std::to_string(rewrite + 2), ChangeNote(),
                                  &made).ok());
    // A page of the log is the page and a 24-byte frame header. History
    // fills a page every few revisions: allow one split (a new page and its
    // parent) and a change of the file's header.
    const off_t frames = (LogBytes(path) - before) / (1024 + 24);
    EXPECT_LE(frames, 2 * kRewrites + 3) << (migrated ? "version 4" : "new");
    EXPECT_GE(frames, 2 * kRewrites) << (migrated ? "version 4" : "new");
    std::vector<std::string> sections;
    ASSERT_TRUE(store->GetSections("net", &sections).ok());
    EXPECT_EQ(sections, std::vector<std::string>{"eth0"});
  }
}

}  // namespace
}  // namespace qet_cfgserver
