#include "store/ConfigStore.h"

#include <gtest/gtest.h>

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
}

}  // namespace
}  // namespace qet_cfgserver
