#include "IniImporter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>

#include "TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

using quenlo_test::TemporaryDirectory;

// section/key -> value, for order-independent comparison.
std::map<std::string, std::string> AsMap(const std::vector<ConfigEntry>& entries) {
  std::map<std::string, std::string> map;
  for (const ConfigEntry& entry : entries) map[entry.section + "/" + entry.key] = entry.value;
  return map;
}

class IniImporterTest : public ::testing::Test {
 protected:
  LxStatus ReadText(const std::string& text, std::map<std::string, std::string>* values) {
    const std::string path = directory_.File("defaults.ini");
    EXPECT_TRUE(quenlo_test::WriteFile(path, text));
    std::vector<ConfigEntry> entries;
    LxStatus status = IniImporter::Read(path, &entries);
    *values = AsMap(entries);
    return status;
  }

  TemporaryDirectory directory_;
};

TEST_F(IniImporterTest, SectionsKeysAndBlanks) {
  std::map<std::string, std::string> values;
  ASSERT_TRUE(ReadText("[net]\n  host  =  example  \nport=80\r\n\n[ spaced ]\n\tk\t=\tv\t\n[a\\b]\nx = 1\n", &values).ok());
  EXPECT_EQ(values, (std::map<std::string, std::string>{
                        {"net/host", "example"}, {"net/port", "80"}, {" spaced /k", "v"}, {"a\\b/x", "1"}}));
}

TEST_F(IniImporterTest, CommentsQuotesAndEquals) {
  std::map<std::string, std::string> values;
  ASSERT_TRUE(ReadText("# leading comment\n[s]\n  ; indented comment\nquoted = \"  a b  \"\n"
                       "trailing = 1 # not a comment\nexpr = a=b\nempty =\ninner = x \"y\" z\n",
                       &values)
                  .ok());
  EXPECT_EQ(values, (std::map<std::string, std::string>{{"s/quoted", "  a b  "},
                                                        {"s/trailing", "1 # not a comment"},
                                                        {"s/expr", "a=b"},
                                                        {"s/empty", ""},
                                                        {"s/inner", "x \"y\" z"}}));
}

TEST_F(IniImporterTest, RepeatedKeyTakesTheLastValue) {
  std::map<std::string, std::string> values;
  ASSERT_TRUE(ReadText("[s]\nk = 1\n[t]\nk = 3\n[s]\nk = 2\n", &values).ok());
  EXPECT_EQ(values, (std::map<std::string, std::string>{{"s/k", "2"}, {"t/k", "3"}}));
}

TEST_F(IniImporterTest, RefusesMalformedFilesNamingThem) {
  const char* const malformed[] = {
      "[s]\nno equals sign\n",          // neither key = value nor a section
      "k = outside any section\n",      // before the first section
      "[s]\n= value without a key\n",   // empty key
      "[]\nk = v\n",                    // empty section name
  };
  for (const char* text : malformed) {
    std::map<std::string, std::string> values;
    LxStatus status = ReadText(text, &values);
    EXPECT_FALSE(status.ok()) << text;
    EXPECT_NE(status.message().find("defaults.ini"), std::string::npos) << status.message();
  }
}

TEST_F(IniImporterTest, RefusesOverlongLinesInsteadOfCuttingThem) {
  std::map<std::string, std::string> values;
  EXPECT_FALSE(ReadText("[s]\nk = " + std::string(5000, 'v') + "\n", &values).ok());
}

TEST_F(IniImporterTest, MissingFileIsAClearError) {
  std::vector<ConfigEntry> entries;
  LxStatus status = IniImporter::Read(directory_.File("absent.ini"), &entries);
  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.message().find("absent.ini"), std::string::npos);
  EXPECT_NE(status.message().find("cannot read"), std::string::npos);
}

TEST(IniImporterSetNameTest, IsTheFileStem) {
  EXPECT_EQ(IniImporter::SetNameFor("/etc/defaults/network.ini"), "network");
  EXPECT_EQ(IniImporter::SetNameFor("network"), "network");
  EXPECT_EQ(IniImporter::SetNameFor("dir.d/net.work.ini"), "net.work");
  EXPECT_EQ(IniImporter::SetNameFor(".hidden"), ".hidden");
}

TEST_F(IniImporterTest, ImportKeepsValuesAlreadyStored) {
  std::unique_ptr<ConfigStore> store;
  ASSERT_TRUE(ConfigStore::Open(directory_.File("config.db"), &store).ok());
  ASSERT_TRUE(store->SetValue("system", "clock", "zone", "UTC+1").ok());
  const std::string path = directory_.File("system.ini");
  ASSERT_TRUE(quenlo_test::WriteFile(path, "[clock]\nzone = UTC\nntp = pool\n"));
  ASSERT_TRUE(IniImporter::Import(path, store.get()).ok());
  std::string value;
  ASSERT_TRUE(store->GetValue("system", "clock", "zone", &value).ok());
  EXPECT_EQ(value, "UTC+1");
  ASSERT_TRUE(store->GetValue("system", "clock", "ntp", &value).ok());
  EXPECT_EQ(value, "pool");
}

TEST_F(IniImporterTest, AFailedImportStoresNothing) {
  std::unique_ptr<ConfigStore> store;
  ASSERT_TRUE(ConfigStore::Open(directory_.File("config.db"), &store).ok());
  const std::string path = directory_.File("broken.ini");
  ASSERT_TRUE(quenlo_test::WriteFile(path, "[s]\ngood = 1\nbad line\n"));
  EXPECT_FALSE(IniImporter::Import(path, store.get()).ok());
  std::vector<std::string> sets;
  ASSERT_TRUE(store->GetSets(&sets).ok());
  EXPECT_TRUE(sets.empty());
}

}  // namespace
}  // namespace qet_cfgserver
