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
  const std::vector<std::string> awkward = {
      "plain", " lead", "trail ", "a=b", "; semi", "# hash", "\"quoted\"", "\"", "end\"", "a,b", "multi\nline\r\n",
      std::string("nul\0byte", 8), "back\\slash", "[br]acket]", "tab\there", "\x7f\x01", AllBytes().substr(1), "é",
      "url: http://x", "\xEF\xBB\xBF" "bom", "\"a\" b", "\"c:\\x\""};
  std::vector<ConfigEntry> entries;
  for (const std::string& text : awkward) {
    entries.push_back(ConfigEntry{text, "key", text});
    entries.push_back(ConfigEntry{"s", text, ""});
  }
  const std::string set = " odd; set\nname";
  const std::string text = IniWriter::WriteSet(set, entries) + "\n" + IniWriter::WriteSet("second", {{"s", "k", "v"}});
  IniContent content;
  LxStatus status = IniReader::Parse(text, "file", &content);
  ASSERT_TRUE(status.ok()) << status.ToString() << "\n" << text;
  ASSERT_EQ(content.sets.size(), 2u);
  EXPECT_EQ(content.sets[0].name, set);
  EXPECT_EQ(Lines(content.sets[0].entries), Lines(entries));
  EXPECT_EQ(content.sets[1].name, "second");
  EXPECT_TRUE(content.warnings.empty());
  EXPECT_EQ(IniWriter::WriteSet("net", {{"dns", "servers", "10.0.0.1, 9.9.9.9"}, {"dns", "url", "http://x/?a=b"}}),
            "; set net\n\n[dns]\nservers = 10.0.0.1, 9.9.9.9\nurl = http://x/?a=b\n");
  EXPECT_EQ(IniField::Write("x\"y", IniField::Place::kValue), "x\"y");
  EXPECT_EQ(IniField::Write("two words", IniField::Place::kWord), "\"two words\"");
}

// What reading text as the file of set "app" gives: each set with its
// entries, then the warnings; or the error.
std::string Read(const std::string& text) {
  IniContent content;
  LxStatus status = IniReader::Parse(text, "app", &content);
  if (!status.ok()) return "error: " + status.message();
  std::string read;
  for (const IniSet& set : content.sets) {
    read += "set " + set.name + "\n";
    for (const std::string& line : Lines(set.entries)) read += line + "\n";
  }
  for (const std::string& warning : content.warnings) read += "warning: " + warning + "\n";
  return read;
}

// Each shape of file, hand-written or exported, and what it must give; an
// expected error need only start the message.
TEST(IniFormatTest, ReaderPutsEveryEntryInItsPlaceOrSaysWhichLineIsWrong) {
  const struct {
    const char* shape;
    std::string text, expected;
  } cases[] = {
      {"a mid-file \"; set\" comment stays a comment",
       "[cache]\r\nsize = 10\n; set to 0, the cache is off\n[pool]\nmax = 4\n",
       "set app\ncache|size|10\npool|max|4\n"},
      {"an export's markers start sets, a set named again continues",
       "; set first\n[a]\nk = 1\n\n; set second\n[b]\nk = 2\n; set first\n[c]\nk = 3\n",
       "set first\na|k|1\nc|k|3\nset second\nb|k|2\n"},
      {"an empty plain file is its file's empty set", "", "set app\n"},
      {"a leading UTF-8 byte-order mark is skipped", "\xEF\xBB\xBF; set net\n[s]\nk = v\n", "set net\ns|k|v\n"},
      {"a byte-order mark further on", "[s]\nk = v\n\xEF\xBB\xBF[t]\n", "error: line 3: a byte-order mark"},
      {"a UTF-16 file", std::string("\xFF\xFE[\0s\0]\0", 8), "error: line 1: a UTF-16 byte-order mark"},
      {"a repeated key keeps its first place and last value, each repeat reported",
       "[unit]\nexec = /bin/a\nname = x\nexec = /bin/b\nexec = /bin/c\n",
       "set app\nunit|exec|/bin/c\nunit|name|x\nwarning: line 4: exec in [unit] repeats line 2; the last value wins\n"
       "warning: line 5: exec in [unit] repeats line 4; the last value wins\n"},
      {"a continuation line", "[env]\ndeps =\n    first\n    second\n",
       "error: line 3: an indented line under the key of line 2"},
      {"a continuation after a comment and a blank line", "[env]\n  deps = a\n\n   # note\n    b = 2\n",
       "error: line 5: an indented line under the key of line 2"},
      {"keys indented alike, comments indented deeper", "[s]\n  a = 1\n      ; aside\n  b = 2\nc = 3\n[t]\n  d = 4\n",
       "set app\ns|a|1\ns|b|2\ns|c|3\nt|d|4\n"},
      {"a key before any section", "k = v\n[s]\n", "error: line 1: a key before any [section]"},
      {"a key right after a set marker", "; set a\n[s]\nk = v\n; set b\nk = v\n",
       "error: line 5: a key before any [section]"},
      {"quoted values with bad escapes or text after the quote are literal",
       "[php]\npath = \".;c:\\php\\inc\"\nenv = \"A=1 2\" \"B=3\"\nhex = \"\\x4\"\ntab = \"a\\tb\"\n",
       "set app\nphp|path|\".;c:\\php\\inc\"\nphp|env|\"A=1 2\" \"B=3\"\nphp|hex|\"\\x4\"\nphp|tab|a\tb\n"},
      {"a key: value line with '=' in its value", "[paths]\ndefault: https://example.org/r?a=b\n",
       "error: line 2: the key holds \": \""},
      {"a quoted key may hold \": \"", "[paths]\n\"x: y\" = z\nhost:port = 1\n",
       "set app\npaths|x: y|z\npaths|host:port|1\n"},
      {"a bad escape in a quoted key", "[s]\n\"k\\q\" = v\n", "error: line 2: unknown escape"},
      {"a quoted key without its closing quote", "[s]\n\"open = v\n", "error: line 2: a quoted field has no closing"},
      {"a line that is no entry", "[s]\njust words\n", "error: line 2: neither"},
      {"a section without ']'", "[s\n", "error: line 1: a section needs"},
      {"an empty section name", "[]\n", "error: line 1: empty section name"},
      {"an empty key", "[s]\n\n= v\n", "error: line 3: empty key name"},
      {"an empty set name", "; set \"\"\n", "error: line 1: unusable set name"},
      {"a value over the limit", "[s]\nk = " + std::string(16 * 1024 + 1, 'v') + "\n", "error: line 2: value over"},
  };
  for (const auto& test : cases) {
    const std::string read = Read(test.text);
    if (test.expected.compare(0, 7, "error: ") == 0)
      EXPECT_EQ(read.compare(0, test.expected.size(), test.expected), 0) << test.shape << ": " << read;
    else
      EXPECT_EQ(read, test.expected) << test.shape;
  }

  IniContent content;
  EXPECT_EQ(IniReader::Parse("[s]\nk = v\n", "", &content).message(), "the file name gives no usable set name");
  std::string repeats = "[s]\n";
  for (int line = 0; line < 103; ++line) repeats += "k = v\n";
  ASSERT_TRUE(IniReader::Parse(repeats, "app", &content).ok());
  ASSERT_EQ(content.warnings.size(), 101u);
  EXPECT_EQ(content.warnings.back(), "2 more repeated keys, not listed");
}

// A file holds its set under a safe name and gives it back.
TEST(IniFormatTest, SetFileNamesReadBackToTheirSet) {
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
