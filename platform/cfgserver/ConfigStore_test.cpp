#include "ConfigStore.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace qet_cfgserver
