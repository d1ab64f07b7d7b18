#include "ConfigStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>

#include "TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

// What the dispatcher tests cannot show: odd bytes, imports and reopening.
TEST(ConfigStoreTest, KeepsEveryByteAndOperatorValuesAcrossImportAndReopen) {
  quenlo_test::TemporaryDirectory directory;
  std::unique_ptr<ConfigStore> store;
  ASSERT_TRUE(ConfigStore::Open(directory.File("config.db"), &store).ok());
  const std::string withNul("a\0b", 3), oddValue("\0\xff\n,'\"", 6);
  ASSERT_TRUE(store->SetValue(withNul, "sec,tion", withNul, oddValue).ok());
  ASSERT_TRUE(store->SetValue("a", "s", "k", "").ok());  // a prefix of withNul, kept apart from it
  ASSERT_TRUE(store->SetValue("\xff", "s", "k", "operator").ok());
  ASSERT_TRUE(store->ImportDefaults("\xff", {{"s", "k", "default"}, {"s", "new", "default"}}).ok());

  store.reset();
  ASSERT_TRUE(ConfigStore::Open(directory.File("config.db"), &store).ok());
  std::vector<std::string> sets;
  ASSERT_TRUE(store->GetSets(&sets).ok());
  EXPECT_EQ(sets, (std::vector<std::string>{"a", withNul, "\xff"}));  // plain byte order
  for (const std::vector<std::string>& entry :
       std::vector<std::vector<std::string>>{{withNul, "sec,tion", withNul, oddValue},
                                             {"a", "s", "k", ""},
                                             {"\xff", "s", "k", "operator"},
                                             {"\xff", "s", "new", "default"}}) {
    std::string value = "stale";
    EXPECT_TRUE(store->GetValue(entry[0], entry[1], entry[2], &value).ok()) << entry[2];
    EXPECT_EQ(value, entry[3]);
  }
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
  ASSERT_TRUE(store->DeleteScope({wire::ScopeLevel::kKey, "net", "s", "c"}, &committed).ok());
  EXPECT_EQ(Lines(committed), (std::vector<std::string>{"3 net/s/c="}));
  EXPECT_EQ(store->DeleteScope({wire::ScopeLevel::kKey, "net", "s", "c"}, &committed).code(), LxStatus::Code::kNotFound);

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
  ASSERT_TRUE(store->ResetScope({wire::ScopeLevel::kSet, "net", "", ""}, &committed).ok());
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
