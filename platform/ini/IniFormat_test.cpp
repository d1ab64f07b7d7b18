#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ini/IniField.h"
#include "ini/IniReader.h"
#include "ini/IniWriter.h"
#include "ini/SetFileName.h"

namespace qet_cfgserver {
namespace {

std::vector<std::string> Lines(const std::vector<ConfigEntry>& entries) {
  std::vector<std::string> lines;
  for (const ConfigEntry& entry : entries) lines.push_back(entry.section + "|" + entry.key + "|" + entry.value);
  return lines;
}

std::string AllBytes() {
  std::string bytes;
  for (int c = 0; c < 256; ++c) bytes += static_cast<char>(c);
  return bytes;
}

// Everything INI cannot hold as it is, in every place a name or value stands.
TEST(IniFormatTest, WrittenSetsReadBackToTheSameEntriesAndOrdinaryOnesStayUnquoted) {
  const std::vector<std::string> awkward = {"plain", " lead", "trail ", "a=b", "; semi", "# hash", "\"quoted\"",
                                            "\"", "end\"", "a,b", "multi\nline\r\n", std::string("nul\0byte", 8),
                                            "back\\slash", "[br]acket]", "tab\there", "\x7f\x01", AllBytes().substr(1), "é"};
  std::vector<ConfigEntry> entries;
  for (const std::string& text : awkward) {
    entries.push_back(ConfigEntry{text, "key", text});
    entries.push_back(ConfigEntry{"s", text, ""});
  }
  const std::string set = " odd; set\nname";
  const std::string text = IniWriter::WriteSet(set, entries) + "\n" + IniWriter::WriteSet("second", {{"s", "k", "v"}});
  std::vector<IniSet> sets;
  LxStatus status = IniReader::Parse(text, "file", IniReader::SetMarkers::kHonour, &sets);
  ASSERT_TRUE(status.ok()) << status.ToString() << "\n" << text;
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(sets[0].name, set);
  EXPECT_EQ(Lines(sets[0].entries), Lines(entries));
  EXPECT_EQ(sets[1].name, "second");
  EXPECT_EQ(IniWriter::WriteSet("net", {{"dns", "servers", "10.0.0.1, 9.9.9.9"}, {"dns", "url", "http://x/?a=b"}}),
            "; set net\n\n[dns]\nservers = 10.0.0.1, 9.9.9.9\nurl = http://x/?a=b\n");
  EXPECT_EQ(IniField::Write("x\"y", IniField::Place::kValue), "x\"y");
  EXPECT_EQ(IniField::Write("two words", IniField::Place::kWord), "\"two words\"");
}

TEST(IniFormatTest, ReadsTodaysFilesAsBeforeAndRefusesBrokenLinesByNumber) {
  std::vector<IniSet> sets;
  ASSERT_TRUE(IniReader::Parse("# c\n[ a\\b ]\n; set x\nk = \"  v  \"\nq = \"a\" b\ne =\nk2 = a = b\n", "net",
                               IniReader::SetMarkers::kComment, &sets)
                  .ok());
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].name, "net");
  EXPECT_EQ(Lines(sets[0].entries), (std::vector<std::string>{" a\\b |k|  v  ", " a\\b |q|\"a\" b", " a\\b |e|",
                                                             " a\\b |k2|a = b"}));
  const std::vector<std::pair<std::string, std::string>> broken = {
      {"[s]\nk = \"bad \\q\"\n", "line 2"},   {"[s]\nk = \"\\x4\"\n", "line 2"}, {"k = v\n", "line 1"},
      {"[s]\n\n= v\n", "line 3"},             {"[s\n", "line 1"},                 {"[s]\nno equals\n", "line 2"},
      {"[s]\n\"open = v\n", "line 2"},        {"[\"s\"x]\n", "line 1"},           {"[]\n", "line 1"},
      {"[s]\nk = \"a\" and \"b\"\n", "line 2"}};
  for (const auto& text : broken) {
    LxStatus status = IniReader::Parse(text.first, "net", IniReader::SetMarkers::kHonour, &sets);
    EXPECT_NE(status.message().find(text.second), std::string::npos) << text.first << ": " << status.ToString();
  }
  // A file holds its set under a safe name and gives it back.
  for (const std::string& set : {std::string("network"), std::string(".hidden/../x %"), AllBytes().substr(1)}) {
    const std::string file = SetFileName::FileNameFor(set);
    EXPECT_EQ(file.find('/'), std::string::npos);
    EXPECT_NE(file[0], '.');
    EXPECT_EQ(SetFileName::SetNameFor("/some/dir/" + file), set);
  }
  EXPECT_EQ(SetFileName::FileNameFor("network"), "network.ini");
}

}  // namespace
}  // namespace qet_cfgserver
