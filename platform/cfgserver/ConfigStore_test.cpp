#include "ConfigStore.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

using quenlo_test::TemporaryDirectory;

class ConfigStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(directory_.path().empty());
    Reopen();
  }

  void Reopen() {
    store_.reset();
    LxStatus status = ConfigStore::Open(directory_.File("config.db"), &store_);
    ASSERT_TRUE(status.ok()) << status.ToString();
  }

  void Set(const std::string& set, const std::string& section, const std::string& key, const std::string& value) {
    LxStatus status = store_->SetValue(set, section, key, value);
    ASSERT_TRUE(status.ok()) << status.ToString();
  }

  std::string Get(const std::string& set, const std::string& section, const std::string& key) {
    std::string value;
    LxStatus status = store_->GetValue(set, section, key, &value);
    EXPECT_TRUE(status.ok()) << status.ToString();
    return value;
  }

  std::vector<std::string> Sets() {
    std::vector<std::string> names;
    EXPECT_TRUE(store_->GetSets(&names).ok());
    return names;
  }

  TemporaryDirectory directory_;
  std::unique_ptr<ConfigStore> store_;
};

TEST_F(ConfigStoreTest, ListingsComeInByteOrder) {
  // Inserted out of order; upper case sorts before lower, and 0xff after all.
  Set("b", "s", "k", "1");
  Set("\xff", "s", "k", "1");
  Set("B", "s", "k", "1");
  Set("a", "zeta", "k", "1");
  Set("a", "Alpha", "k", "1");
  Set("a", "alpha", "k2", "2");
  Set("a", "alpha", "k10", "10");
  Set("a", "alpha", "k1", "1");
  EXPECT_EQ(Sets(), (std::vector<std::string>{"B", "a", "b", "\xff"}));

  std::vector<std::string> sections;
  ASSERT_TRUE(store_->GetSections("a", &sections).ok());
  EXPECT_EQ(sections, (std::vector<std::string>{"Alpha", "alpha", "zeta"}));

  std::vector<wire::KeyValue> pairs;
  ASSERT_TRUE(store_->GetKeysAndValues("a", "alpha", &pairs).ok());
  ASSERT_EQ(pairs.size(), 3u);
  EXPECT_EQ(pairs[0].key, "k1");
  EXPECT_EQ(pairs[1].key, "k10");
  EXPECT_EQ(pairs[2].key, "k2");
  EXPECT_EQ(pairs[2].value, "2");
}

TEST_F(ConfigStoreTest, EveryByteSurvives) {
  const std::string withNul("a\0b", 3);
  const std::string prefix("a", 1);
  std::string allBytes;
  for (int byte = 0; byte < 256; ++byte) allBytes += static_cast<char>(byte);
  Set(withNul, "sec,tion", "key,with,commas", allBytes);
  Set(prefix, "s", "k", "");  // "a" must stay apart from "a\0b"
  EXPECT_EQ(Get(withNul, "sec,tion", "key,with,commas"), allBytes);
  EXPECT_EQ(Get(prefix, "s", "k"), "");
  EXPECT_EQ(Sets(), (std::vector<std::string>{prefix, withNul}));
}

TEST_F(ConfigStoreTest, EmptyValueIsStoredNotMissing) {
  Set("set", "section", "key", "");
  std::string value = "stale";
  ASSERT_TRUE(store_->GetValue("set", "section", "key", &value).ok());
  EXPECT_EQ(value, "");
}

TEST_F(ConfigStoreTest, SetValueReplaces) {
  Set("set", "section", "key", "old");
  Set("set", "section", "key", "new");
  EXPECT_EQ(Get("set", "section", "key"), "new");
  std::vector<wire::KeyValue> pairs;
  ASSERT_TRUE(store_->GetKeysAndValues("set", "section", &pairs).ok());
  EXPECT_EQ(pairs.size(), 1u);
}

TEST_F(ConfigStoreTest, MissingThingsAreNotFoundOrEmpty) {
  Set("set", "section", "key", "value");
  std::string value;
  EXPECT_EQ(store_->GetValue("set", "section", "other", &value).code(), LxStatus::Code::kNotFound);
  EXPECT_EQ(store_->GetValue("set", "other", "key", &value).code(), LxStatus::Code::kNotFound);
  EXPECT_EQ(store_->GetValue("Set", "section", "key", &value).code(), LxStatus::Code::kNotFound);
  std::vector<std::string> sections{"stale"};
  ASSERT_TRUE(store_->GetSections("unknown", &sections).ok());
  EXPECT_TRUE(sections.empty());
  std::vector<wire::KeyValue> pairs{{"stale", "stale"}};
  ASSERT_TRUE(store_->GetKeysAndValues("set", "unknown", &pairs).ok());
  EXPECT_TRUE(pairs.empty());
}

TEST_F(ConfigStoreTest, ImportKeepsExistingValuesAndAddsNewOnes) {
  Set("net", "eth0", "mtu", "9000");
  ASSERT_TRUE(store_->ImportDefaults("net", {{"eth0", "mtu", "1500"}, {"eth0", "dhcp", "yes"}}).ok());
  EXPECT_EQ(Get("net", "eth0", "mtu"), "9000");
  EXPECT_EQ(Get("net", "eth0", "dhcp"), "yes");
  // Importing the same defaults again changes nothing.
  Set("net", "eth0", "dhcp", "no");
  ASSERT_TRUE(store_->ImportDefaults("net", {{"eth0", "mtu", "1500"}, {"eth0", "dhcp", "yes"}}).ok());
  EXPECT_EQ(Get("net", "eth0", "dhcp"), "no");
}

TEST_F(ConfigStoreTest, ReopenKeepsData) {
  Set("set", "section", "key", std::string("v\0v", 3));
  ASSERT_TRUE(store_->ImportDefaults("other", {{"s", "k", "imported"}}).ok());
  Reopen();
  EXPECT_EQ(Get("set", "section", "key"), std::string("v\0v", 3));
  EXPECT_EQ(Get("other", "s", "k"), "imported");
}

TEST_F(ConfigStoreTest, StatementsAreReusableAfterEachCall) {
  // Each call must reset its statement, or the second use fails or returns
  // the first call's rows.
  Set("set", "a", "k", "1");
  Set("set", "b", "k", "2");
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(Get("set", "a", "k"), "1");
    EXPECT_EQ(Get("set", "b", "k"), "2");
    std::vector<std::string> sections;
    ASSERT_TRUE(store_->GetSections("set", &sections).ok());
    EXPECT_EQ(sections.size(), 2u);
  }
}

TEST(ConfigStoreOpenTest, FailsCleanlyOnAnUnusablePath) {
  TemporaryDirectory directory;
  std::unique_ptr<ConfigStore> store;
  LxStatus status = ConfigStore::Open(directory.File("missing/dir/config.db"), &store);
  EXPECT_FALSE(status.ok());
  EXPECT_EQ(store, nullptr);
  EXPECT_NE(status.message().find("missing/dir/config.db"), std::string::npos) << status.message();
}

TEST(ConfigStoreOpenTest, RefusesAFileThatIsNotADatabase) {
  TemporaryDirectory directory;
  ASSERT_TRUE(quenlo_test::WriteFile(directory.File("config.db"), std::string(4096, 'x')));
  std::unique_ptr<ConfigStore> store;
  EXPECT_FALSE(ConfigStore::Open(directory.File("config.db"), &store).ok());
}

}  // namespace
}  // namespace qet_cfgserver
