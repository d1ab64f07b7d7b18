#include "store/IniImporter.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/support/TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

TEST(IniImporterTest, ReadsTheRulesAndRefusesMalformedFilesNamingThem) {
  quenlo_test::TemporaryDirectory directory;
  const std::string path = directory.File("defaults.ini");
  ASSERT_TRUE(quenlo_test::WriteFile(path,
                                     "# comment\n[net]\n  host  =  example  \r\n\n[ a\\b ]\n\t; comment\n"
                                     "quoted = \"  a b  \"\ntrailing = 1 # no comment\nexpr = a=b\nk = 1\nk = 2\n"));
  std::vector<ConfigEntry> entries;
  ASSERT_TRUE(IniImporter::Read(path, &entries).ok());
  std::map<std::string, std::string> values;
  for (const ConfigEntry& entry : entries) values[entry.section + "/" + entry.key] = entry.value;
  EXPECT_EQ(values, (std::map<std::string, std::string>{{"net/host", "example"}, {" a\\b /quoted", "  a b  "},
                                                        {" a\\b /trailing", "1 # no comment"}, {" a\\b /expr", "a=b"},
                                                        {" a\\b /k", "2"}}));
  ASSERT_TRUE(quenlo_test::WriteFile(path, "[s]\nk = " + std::string(16 * 1024 + 1, 'v') + "\n"));  // refused, not cut
  EXPECT_NE(IniImporter::Read(path, &entries).message().find("defaults.ini: line 2"), std::string::npos);
  // One set per file: a "; set" line of a multi-set export is a comment here.
  ASSERT_TRUE(quenlo_test::WriteFile(path, "; set other\n[s]\nk = v\n"));
  ASSERT_TRUE(IniImporter::Read(path, &entries).ok());
  EXPECT_EQ(entries.size(), 1u);
}

}  // namespace
}  // namespace qet_cfgserver
