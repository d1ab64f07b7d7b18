// What cfgctl makes of its command line: each command's arguments and
// options, and the usage errors main turns into exit status 2.

#include "cfgctl/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cfgctl {
namespace {

using Words = std::vector<std::string>;

// Parses cfgctl WORDS into a line left over from an earlier parse, so a
// field Parse fails to reset shows.
LxStatus Parse(const Words& words, CommandLine* line) {
  line->command = "stale";
  line->arguments = {"stale"};
  line->replace = true;
  line->dryRun = true;
  line->directory = "stale";
  line->count = 99;
  line->confirmSeconds = 99;
  line->since = "stale";
  line->json = true;
  std::vector<const char*> argv = {"cfgctl"};
  for (const std::string& word : words) argv.push_back(word.c_str());
  return CommandLine::Parse(static_cast<int>(argv.size()), argv.data(), line);
}

std::string Joined(const Words& words) {
  std::string text = "cfgctl";
  for (const std::string& word : words) text += " '" + word + "'";
  return text;
}

TEST(CommandLineTest, AcceptedLinesGiveTheCommandItsArgumentsAndOptions) {
  const struct {
    Words words;
    const char* command;
    Words arguments;
    bool replace;
    const char* directory;
    std::uint32_t count = 0;
    std::uint32_t confirmSeconds = 0;
    const char* since = "";
    bool json = false;
  } cases[] = {
      {{"--help"}, "help", {}, false, ""},
      {{"-h"}, "help", {}, false, ""},
      {{"help"}, "help", {}, false, ""},
      {{"get", "network", "eth0", "mtu"}, "get", {"network", "eth0", "mtu"}, false, ""},
      {{"get", "", "", ""}, "get", {"", "", ""}, false, ""},  // empty names are the server's to refuse
      {{"set", "network", "eth0", "mtu", "9000"}, "set", {"network", "eth0", "mtu", "9000"}, false, ""},
      // Once the arguments begin, words that look like options are arguments.
      {{"set", "s", "x", "k", "-1"}, "set", {"s", "x", "k", "-1"}, false, ""},
      {{"set", "s", "x", "k", "--"}, "set", {"s", "x", "k", "--"}, false, ""},
      {{"delete", "s"}, "delete", {"s"}, false, ""},
      {{"delete", "s", "x", "k"}, "delete", {"s", "x", "k"}, false, ""},
      {{"list"}, "list", {}, false, ""},
      {{"list", "s", "x"}, "list", {"s", "x"}, false, ""},
      {{"export"}, "export", {}, false, ""},
      {{"export", "a", "b", "c", "d"}, "export", {"a", "b", "c", "d"}, false, ""},
      {{"export", "--dir", "backup"}, "export", {}, false, "backup"},
      {{"export", "--dir", "backup", "a", "b"}, "export", {"a", "b"}, false, "backup"},
      {{"export", "--dir", "first", "--dir", "last"}, "export", {}, false, "last"},
      {{"export", "--", "--dir", "x"}, "export", {"--dir", "x"}, false, ""},
      {{"export", "-"}, "export", {"-"}, false, ""},  // a lone dash is a name
      // Options end at the first argument.
      {{"export", "a", "--dir", "x"}, "export", {"a", "--dir", "x"}, false, ""},
      {{"import", "a.ini"}, "import", {"a.ini"}, false, ""},
      {{"import", "--replace", "a.ini", "b.ini"}, "import", {"a.ini", "b.ini"}, true, ""},
      {{"import", "--replace", "--replace", "a.ini"}, "import", {"a.ini"}, true, ""},
      {{"import", "--", "--replace"}, "import", {"--replace"}, false, ""},
      {{"import", "a.ini", "--replace"}, "import", {"a.ini", "--replace"}, false, ""},
      {{"changes"}, "changes", {}, false, ""},
      {{"changes", "s"}, "changes", {"s"}, false, ""},
      {{"reset"}, "reset", {}, false, ""},
      {{"reset", "s", "x", "k"}, "reset", {"s", "x", "k"}, false, ""},
      {{"watch"}, "watch", {}, false, ""},
      {{"watch", "s", "x"}, "watch", {"s", "x"}, false, ""},
      {{"digest"}, "digest", {}, false, ""},
      {{"digest", "--dir"}, "digest", {"--dir"}, false, ""},
      {{"revision"}, "revision", {}, false, ""},
      {{"history"}, "history", {}, false, ""},
      {{"history", "-n", "3", "net", "eth0", "mtu"}, "history", {"net", "eth0", "mtu"}, false, "", 3},
      {{"history", "-n", "1", "-n", "4294967295"}, "history", {}, false, "", 4294967295u},
      {{"history", "--", "-n"}, "history", {"-n"}, false, ""},  // a set named -n
      {{"show", "12"}, "show", {"12"}, false, ""},
      {{"diff", "1"}, "diff", {"1"}, false, ""},
      {{"diff", "1", "2"}, "diff", {"1", "2"}, false, ""},
      {{"rollback", "0"}, "rollback", {"0"}, false, ""},
      {{"set", "--confirm", "30", "s", "x", "k", "-1"}, "set", {"s", "x", "k", "-1"}, false, "", 0, 30},
      {{"set", "--", "-s", "x", "k", "v"}, "set", {"-s", "x", "k", "v"}, false, ""},  // a set named -s
      {{"delete", "--confirm", "1", "s"}, "delete", {"s"}, false, "", 0, 1},
      {{"import", "--confirm", "86400", "--replace", "a.ini"}, "import", {"a.ini"}, true, "", 0, 86400},
      {{"reset", "--confirm", "5"}, "reset", {}, false, "", 0, 5},
      {{"rollback", "--confirm", "60", "3"}, "rollback", {"3"}, false, "", 0, 60},
      {{"confirm"}, "confirm", {}, false, ""},
      {{"cancel"}, "cancel", {}, false, ""},
      {{"watch", "--since", "12", "network"}, "watch", {"network"}, false, "", 0, 0, "12"},
      // --json on each command that prints records, in any place among its options.
      {{"get", "--json", "s", "x", "k"}, "get", {"s", "x", "k"}, false, "", 0, 0, "", true},
      {{"get", "--", "--json", "x", "k"}, "get", {"--json", "x", "k"}, false, ""},  // a set named --json
      {{"list", "--json"}, "list", {}, false, "", 0, 0, "", true},
      {{"export", "--json", "a", "b"}, "export", {"a", "b"}, false, "", 0, 0, "", true},
      {{"changes", "--json", "s"}, "changes", {"s"}, false, "", 0, 0, "", true},
      {{"history", "-n", "2", "--json"}, "history", {}, false, "", 2, 0, "", true},
      {{"show", "--json", "3"}, "show", {"3"}, false, "", 0, 0, "", true},
      {{"diff", "--json", "1", "2"}, "diff", {"1", "2"}, false, "", 0, 0, "", true},
      {{"watch", "--since", "4", "--json", "s"}, "watch", {"s"}, false, "", 0, 0, "4", true},
  };
  for (const auto& expected : cases) {
    SCOPED_TRACE(Joined(expected.words));
    CommandLine line;
    const LxStatus parsed = Parse(expected.words, &line);
    ASSERT_TRUE(parsed.ok()) << parsed.ToString();
    EXPECT_EQ(line.command, expected.command);
    EXPECT_EQ(line.arguments, expected.arguments);
    EXPECT_EQ(line.replace, expected.replace);
    EXPECT_EQ(line.directory, expected.directory);
    EXPECT_EQ(line.count, expected.count);
    EXPECT_EQ(line.confirmSeconds, expected.confirmSeconds);
    EXPECT_EQ(line.since, expected.since);
    EXPECT_EQ(line.json, expected.json);
  }
}

// --dry-run is import's alone, and like --replace ends at "--".
TEST(CommandLineTest, DryRunIsAnImportOption) {
  CommandLine line;
  ASSERT_TRUE(Parse({"import", "--dry-run", "--replace", "a.ini"}, &line).ok());
  EXPECT_TRUE(line.dryRun && line.replace);
  EXPECT_EQ(line.arguments, Words{"a.ini"});
  ASSERT_TRUE(Parse({"import", "--", "--dry-run"}, &line).ok());
  EXPECT_FALSE(line.dryRun);
  ASSERT_TRUE(Parse({"import", "a.ini"}, &line).ok());
  EXPECT_FALSE(line.dryRun);
  EXPECT_FALSE(Parse({"export", "--dry-run"}, &line).ok());
}

// One line on standard error that says what is wrong and where to look.
TEST(CommandLineTest, RefusedLinesAreOneLineUsageErrorsSayingWhatIsWrong) {
  const struct {
    Words words;
    const char* complaint;
  } cases[] = {
      {{}, "no command"},
      {{"help", "get"}, "--help takes no arguments"},
      {{"--help", "--help"}, "--help takes no arguments"},
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{"GET", "s", "x", "k"}, "unknown command 'GET'"},
      {{""}, "unknown command ''"},
      {{"--dir", "x", "export"}, "unknown command '--dir'"},
      {{"get", "s", "x"}, "usage: cfgctl get [--json] SET SECTION KEY"},
      {{"get", "s", "x", "k", "extra"}, "usage: cfgctl get [--json] SET SECTION KEY"},
      {{"set", "s", "x", "k"}, "usage: cfgctl set [--confirm SECONDS] SET SECTION KEY VALUE"},
      {{"set", "s", "x", "k", "v", "extra"}, "usage: cfgctl set [--confirm SECONDS] SET SECTION KEY VALUE"},
      {{"delete"}, "usage: cfgctl delete [--confirm SECONDS] SET [SECTION [KEY]]"},
      {{"delete", "s", "x", "k", "extra"}, "usage: cfgctl delete [--confirm SECONDS] SET [SECTION [KEY]]"},
      {{"list", "s", "x", "k"}, "usage: cfgctl list [--json] [SET [SECTION]]"},
      {{"import"}, "usage: cfgctl import [--replace] [--dry-run] [--confirm SECONDS] FILE.ini..."},
      {{"import", "--replace"}, "usage: cfgctl import [--replace] [--dry-run] [--confirm SECONDS] FILE.ini..."},
      {{"import", "--"}, "usage: cfgctl import [--replace] [--dry-run] [--confirm SECONDS] FILE.ini..."},
      {{"changes", "s", "x"}, "usage: cfgctl changes [--json] [SET]"},
      {{"digest", "a", "b"}, "usage: cfgctl digest [SET]"},
      {{"reset", "s", "x", "k", "extra"}, "usage: cfgctl reset [--confirm SECONDS] [SET [SECTION [KEY]]]"},
      {{"watch", "s", "x", "k"}, "usage: cfgctl watch [--json] [--since REV] [SET [SECTION]]"},
      // Each command knows only its own options.
      {{"import", "--bogus", "x.ini"}, "import: unknown option '--bogus'"},
      {{"import", "--dir", "d", "x.ini"}, "import: unknown option '--dir'"},
      {{"import", "-r", "x.ini"}, "import: unknown option '-r'"},
      {{"export", "--replace"}, "export: unknown option '--replace'"},
      {{"export", "--dir"}, "export: unknown option '--dir'"},  // with no directory after it
      {{"export", "--dir", "", "a"}, "export: --dir needs a directory"},
      {{"revision", "12"}, "usage: cfgctl revision"},
      {{"history", "-n", "0"}, "history: -n needs a whole number from 1 up"},
      {{"history", "-n", "-3"}, "history: -n needs a whole number from 1 up"},
      {{"history", "-n", "4294967296"}, "history: -n needs a whole number from 1 up"},
      {{"history", "-n"}, "history: unknown option '-n'"},  // with no number after it
      {{"history", "--all"}, "history: unknown option '--all'"},
      {{"history", "s", "x", "k", "extra"}, "usage: cfgctl history [--json] [-n N] [SET [SECTION [KEY]]]"},
      {{"show"}, "usage: cfgctl show [--json] REV"},
      {{"diff", "1", "2", "3"}, "usage: cfgctl diff [--json] REV [REV2]"},
      {{"rollback"}, "usage: cfgctl rollback [--confirm SECONDS] REV"},
      {{"rollback", "-n", "3"}, "rollback: unknown option '-n'"},
      {{"set", "--confirm", "0", "s", "x", "k", "v"}, "set: --confirm needs a whole number of seconds from 1 to 86400"},
      {{"reset", "--confirm", "86401"}, "reset: --confirm needs a whole number of seconds from 1 to 86400"},
      {{"get", "--confirm", "3", "s", "x"}, "get: unknown option '--confirm'"},
      {{"get", "--dir", "x", "k"}, "get: unknown option '--dir'"},
      // --json only where there are records to print, and not beside --dir.
      {{"set", "--json", "s", "x", "k", "v"}, "set: unknown option '--json'"},
      {{"import", "--json", "a.ini"}, "import: unknown option '--json'"},
      {{"revision", "--json"}, "usage: cfgctl revision"},
      {{"export", "--json", "--dir", "d"}, "export: --json writes to standard output, not to --dir"},
      {{"export", "--dir", "d", "--json", "a"}, "export: --json writes to standard output, not to --dir"},
      {{"confirm", "now"}, "usage: cfgctl confirm"},
      {{"cancel", "3"}, "usage: cfgctl cancel"},
  };
  for (const auto& expected : cases) {
    SCOPED_TRACE(Joined(expected.words));
    CommandLine line;
    const LxStatus parsed = Parse(expected.words, &line);
    EXPECT_EQ(parsed.code(), LxStatus::Code::kInvalidArgument);
    EXPECT_EQ(parsed.message(), expected.complaint + std::string(" (see cfgctl --help)"));
  }
}

// The usage line an error shows is the one --help shows for that command.
TEST(CommandLineTest, UsageLinesAreTheLinesOfTheHelpText) {
  const std::string help = CommandLine::HelpText(), prefix = "usage: cfgctl ", suffix = " (see cfgctl --help)";
  for (const Words& words : {Words{"get"}, Words{"set"}, Words{"delete"}, Words{"list", "s", "x", "k"},
                             Words{"import"}, Words{"changes", "s", "x"}, Words{"reset", "s", "x", "k", "extra"},
                             Words{"digest", "a", "b"},
                             Words{"watch", "s", "x", "k"}, Words{"revision", "x"}, Words{"history", "a", "b", "c", "d"},
                             Words{"show"}, Words{"diff"}, Words{"rollback"}, Words{"confirm", "x"}, Words{"cancel", "x"}}) {
    CommandLine line;
    const std::string message = Parse(words, &line).message();
    ASSERT_EQ(message.compare(0, prefix.size(), prefix), 0) << message;
    const std::string usage = message.substr(prefix.size(), message.size() - prefix.size() - suffix.size());
    // The help's line: the usage, then blanks before its description or a
    // line break.
    const std::string start = "\n  " + usage;
    EXPECT_TRUE(help.find(start + "  ") != std::string::npos || help.find(start + "\n") != std::string::npos) << usage;
  }
}

}  // namespace
}  // namespace cfgctl
