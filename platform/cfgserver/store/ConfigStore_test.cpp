#include "store/ConfigStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <set>

#include "tests/support/TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

// Values of any bytes across reopening: the power-cut test.

// Listings walk the names one seek at a time: on a database of many rows,
// names that are empty, prefixes of one another, or hold NUL and 0xff bytes
// must each come back once, in plain byte order, with the sections of
// exactly their own set.
TEST(ConfigStoreTest, ListingsOnALargeDatabaseGiveEveryNameOnceInByteOrder) {
  quenlo_test::TemporaryDirectory directory;
  std::unique_ptr<ConfigStore> store;
  ASSERT_TRUE(ConfigStore::Open(directory.File("config.db"), &store).ok());
  const std::vector<std::string> names = {"", std::string(1, '\0'), std::string("a\0", 2), "a", "ab", "a\xff",
                                          "\xff", "\xff\xff", "b", std::string(255, '\xff')};
  std::map<std::string, std::set<std::string>> expected;
  std::vector<ConfigRow> rows;
  for (std::size_t set = 0; set < names.size(); ++set)
    for (std::size_t section = 0; section < names.size(); section += 1 + set % 3)
      for (int key = 0; key < 500; ++key) {
        rows.push_back(ConfigRow{names[set], names[section], "key" + std::to_string(key), "v"});
        expected[names[set]].insert(names[section]);
      }
  std::uint64_t added = 0;
  ASSERT_TRUE(store->AddMissing(rows, &added).ok());
  ASSERT_EQ(added, rows.size());

  std::vector<std::string> listed;
  ASSERT_TRUE(store->GetSets(&listed).ok());
  std::vector<std::string> sets;
  for (const auto& entry : expected) sets.push_back(entry.first);  // std::string orders bytes as unsigned
  EXPECT_EQ(listed, sets);
  for (const auto& entry : expected) {
    ASSERT_TRUE(store->GetSections(entry.first, &listed).ok());
    EXPECT_EQ(listed, std::vector<std::string>(entry.second.begin(), entry.second.end())) << entry.first.size();
  }
  ASSERT_TRUE(store->GetSections("a\x01", &listed).ok());  // between two sets
  EXPECT_TRUE(listed.empty());
}

std::map<std::string, std::string> Section(ConfigStore* store, const std::string& set, const std::string& section) {
  std::vector<wire::KeyValue> pairs;
  EXPECT_TRUE(store->GetKeysAndValues(set, section, &pairs).ok());
  std::map<std::string, std::string> values;
  for (const wire::KeyValue& pair : pairs) values[pair.key] = pair.value;
  return values;
}

// "kind set/section/key=value" lines, to compare whole lists at once.
std::vector<std::string> Lines(const std::vector<wire::Record>& records) {
  std::vector<std::string> lines;
  for (const wire::Record& record : records)
    lines.push_back(std::to_string(static_cast<int>(record.kind)) + " " + record.set + "/" + record.section + "/" +
                    record.key + "=" + record.value + (record.defaultValue.empty() ? "" : " <" + record.defaultValue));
  return lines;
}

// The layers through an operator's day and a firmware update: what reads,
// changes and reset see, and what each commit reports to watchers.
TEST(ConfigStoreTest, LayersKeepTheOperatorsChangesThroughResetsAndFirmwareUpdates) {
  quenlo_test::TemporaryDirectory directory;
  std::unique_ptr<ConfigStore> store;
  ASSERT_TRUE(ConfigStore::Open(directory.File("config.db"), &store).ok());
  ASSERT_TRUE(store->ImportDefaults("net", {{"s", "a", "1"}, {"s", "b", "2"}, {"s", "c", "3"}, {"s", "b", "2"}}).ok());
  ASSERT_TRUE(store->SetValue("net", "s", "b", "20").ok());
  ASSERT_TRUE(store->SetValue("net", "s", "d", "4").ok());
  std::vector<wire::Record> committed;
  ASSERT_TRUE(store->DeleteScope({ConfigScope::Level::kKey, "net", "s", "c"}, &committed).ok());
  EXPECT_EQ(Lines(committed), (std::vector<std::string>{"3 net/s/c="}));
  EXPECT_EQ(store->DeleteScope({ConfigScope::Level::kKey, "net", "s", "c"}, &committed).code(), LxStatus::Code::kNotFound);

  std::vector<wire::Record> changes;
  ASSERT_TRUE(store->GetChanges({}, &changes).ok());
  EXPECT_EQ(Lines(changes), (std::vector<std::string>{"2 net/s/b=20 <2", "3 net/s/c= <3", "1 net/s/d=4"}));

  // Newer defaults: untouched keys follow, the operator's b, deleted c and added d stay.
  ASSERT_TRUE(store->ImportDefaults("net", {{"s", "a", "10"}, {"s", "b", "200"}, {"s", "c", "300"}, {"s", "e", "5"}}).ok());
  EXPECT_EQ(Section(store.get(), "net", "s"),
            (std::map<std::string, std::string>{{"a", "10"}, {"b", "20"}, {"d", "4"}, {"e", "5"}}));
  // A default dropped by the update leaves config unless the operator changed it.
  ASSERT_TRUE(store->ImportDefaults("net", {{"s", "b", "200"}, {"s", "c", "300"}}).ok());
  EXPECT_EQ(Section(store.get(), "net", "s"), (std::map<std::string, std::string>{{"b", "20"}, {"d", "4"}}));

  committed.clear();
  ASSERT_TRUE(store->ResetScope({ConfigScope::Level::kSet, "net", "", ""}, &committed).ok());
  EXPECT_EQ(Lines(committed), (std::vector<std::string>{"0 net/s/b=200", "0 net/s/c=300", "3 net/s/d="}));
  EXPECT_EQ(Section(store.get(), "net", "s"), (std::map<std::string, std::string>{{"b", "200"}, {"c", "300"}}));
  ASSERT_TRUE(store->GetChanges({}, &(changes = {})).ok());
  EXPECT_TRUE(changes.empty());

  // Replace: the set becomes exactly the entries; only real changes are reported.
  committed.clear();
  ASSERT_TRUE(store->ImportSet("net", {{"s", "c", "300"}, {"t", "x", "y"}}, true, &committed).ok());
  EXPECT_EQ(Lines(committed), (std::vector<std::string>{"3 net/s/b=", "0 net/t/x=y"}));
  std::vector<wire::Record> exported;
  ASSERT_TRUE(store->ExportSet("net", &exported).ok());
  EXPECT_EQ(Lines(exported), (std::vector<std::string>{"0 /s/c=300", "0 /t/x=y"}));
}

// A database of the format before the defaults layer opens without loss,
// its rows becoming the operator's; a newer schema is refused untouched.
TEST(ConfigStoreTest, TodaysDatabasesAreMigratedAndNewerOnesRefused) {
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
  EXPECT_EQ(Section(store.get(), "net", "s"), (std::map<std::string, std::string>{{"k", std::string("\0\xff", 2)}}));
  std::vector<wire::Record> changes;
  ASSERT_TRUE(store->GetChanges({}, &changes).ok());
  ASSERT_EQ(Lines(changes).size(), 1u);
  EXPECT_EQ(changes[0].kind, wire::RecordKind::kAdded);
  store.reset();

  ASSERT_EQ(sqlite3_open(path.c_str(), &old), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(old, "PRAGMA user_version = 3", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(old);
  EXPECT_EQ(ConfigStore::Open(path, &store).code(), LxStatus::Code::kUnavailable);
  ASSERT_EQ(sqlite3_open(path.c_str(), &old), SQLITE_OK);
  sqlite3_stmt* version = nullptr;
  sqlite3_prepare_v2(old, "PRAGMA user_version", -1, &version, nullptr);
  ASSERT_EQ(sqlite3_step(version), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(version, 0), 3);
  sqlite3_finalize(version);
  sqlite3_close(old);
}

}  // namespace
}  // namespace qet_cfgserver
