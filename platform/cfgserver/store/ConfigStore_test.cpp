#include "store/ConfigStore.h"

#include <gtest/gtest.h>

#include <functional>
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
  ASSERT_TRUE(store->recovery().AddMissing(rows, &added).ok());
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

  // Names leave the listings with their last key, and only then.
  CommittedRevision committed;
  const std::string set = names[0];
  const std::string section = *expected[set].begin();
  ASSERT_TRUE(store->layers().DeleteScope({ConfigScope::Level::kKey, set, section, "key0"}, ChangeNote(), &committed).ok());
  ASSERT_TRUE(store->GetSections(set, &listed).ok());
  EXPECT_EQ(listed.size(), expected[set].size());
  ASSERT_TRUE(store->layers().DeleteScope({ConfigScope::Level::kSection, set, section, ""}, ChangeNote(), &committed).ok());
  expected[set].erase(section);
  ASSERT_TRUE(store->GetSections(set, &listed).ok());
  EXPECT_EQ(listed, std::vector<std::string>(expected[set].begin(), expected[set].end()));
  ASSERT_TRUE(store->layers().DeleteScope({ConfigScope::Level::kSet, set, "", ""}, ChangeNote(), &committed).ok());
  ASSERT_TRUE(store->GetSets(&listed).ok());
  EXPECT_EQ(listed, std::vector<std::string>(sets.begin() + 1, sets.end()));
  ASSERT_TRUE(store->SetValue(set, section, "back", "1", ChangeNote(), &committed).ok());
  ASSERT_TRUE(store->GetSections(set, &listed).ok());
  EXPECT_EQ(listed, std::vector<std::string>{section});
}

// Point reads are answered from memory while nothing changed: a read after
// each kind of change, on every path that changes what reads see, must see
// the change, never the value read before it.
TEST(ConfigStoreTest, AReadAfterEveryKindOfChangeSeesIt) {
  quenlo_test::TemporaryDirectory directory;
  std::unique_ptr<ConfigStore> store;
  ASSERT_TRUE(ConfigStore::Open(directory.File("config.db"), &store).ok());
  const ChangeNote note;
  CommittedRevision committed;
  ASSERT_TRUE(
      store->layers().ImportDefaults("net", {{"eth0", "mtu", "1500"}, {"eth0", "mode", "dhcp"}}, note, &committed).ok());
  const ConfigScope key{ConfigScope::Level::kKey, "net", "eth0", "mtu"};
  const ConfigScope section{ConfigScope::Level::kSection, "net", "eth0", ""};
  const ConfigScope set{ConfigScope::Level::kSet, "net", "", ""};
  const auto write = [](const ConfigRow& row) { return ConfigStore::ValueWrite{row, ChangeNote()}; };
  std::vector<CommittedRevision> made;
  std::uint64_t afterReset = 0;
  const struct {
    const char* change;
    std::function<LxStatus()> apply;
    const char* expected;  // null: no such key
  } cases[] = {
      {"set", [&] { return store->SetValue("net", "eth0", "mtu", "1400", note, &committed); }, "1400"},
      {"set several",
       [&] {
         return store->SetValues({write({"net", "eth0", "mode", "static"}), write({"net", "eth0", "mtu", "1300"})}, &made);
       },
       "1300"},
      {"reset the key", [&] { return store->layers().ResetScope(key, note, &committed); }, "1500"},
      {"import with replace",
       [&] { return store->layers().ImportSet("net", {{"eth0", "mtu", "9000"}}, true, note, &committed); }, "9000"},
      {"delete the section", [&] { return store->layers().DeleteScope(section, note, &committed); }, nullptr},
      {"reset the set",
       [&] {
         const LxStatus status = store->layers().ResetScope(set, note, &committed);
         afterReset = committed.number;
         return status;
       },
       "1500"},
      {"new defaults",
       [&] { return store->layers().ImportDefaults("net", {{"eth0", "mtu", "1492"}}, note, &committed); }, "1492"},
      {"rollback", [&] { return store->layers().RollBackTo(afterReset, note, &committed); }, "1500"},
      {"cancel of a change read meanwhile",
       [&] {
         ChangeNote toConfirm;
         toConfirm.confirmSeconds = 60;
         std::string read;
         LxStatus status = store->SetValue("net", "eth0", "mtu", "7", toConfirm, &committed);
         if (status.ok()) status = store->GetValue("net", "eth0", "mtu", &read);
         return status.ok() ? store->layers().CancelPending(note, &committed) : status;
       },
       "1500"},
      {"delete the key", [&] { return store->layers().DeleteScope(key, note, &committed); }, nullptr},
      {"recovery's rows", [&] {
         std::uint64_t added = 0;
         return store->recovery().AddMissing({{"net", "eth0", "mtu", "576"}}, &added);
       }, "576"},
  };
  for (const auto& test : cases) {
    std::string before;
    store->GetValue("net", "eth0", "mtu", &before);  // kept in memory, if there
    ASSERT_TRUE(test.apply().ok()) << test.change;
    std::string value;
    const LxStatus read = store->GetValue("net", "eth0", "mtu", &value);
    if (test.expected == nullptr) {
      EXPECT_EQ(read.code(), LxStatus::Code::kNotFound) << test.change << ": " << value;
    } else {
      EXPECT_TRUE(read.ok()) << test.change;
      EXPECT_EQ(value, test.expected) << test.change;
    }
  }
}

}  // namespace
}  // namespace qet_cfgserver
