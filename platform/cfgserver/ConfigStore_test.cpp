#include "ConfigStore.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

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

}  // namespace
}  // namespace qet_cfgserver
