// cfgctl against a real server, each test in a runtime directory of its own:
// every command with its exit status, export/import round trips of values
// INI cannot hold as they are, watch seeing the console, imports and its
// own falling behind, and digests that compare configurations.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/UserName.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TemporaryDirectory.h"

namespace quenlo_test {
namespace {

// Generous, it only catches a hang: programs may run under an emulator or
// sanitizers on a loaded machine, and an import of 9 MiB is sent twice (its
// preview, then its commit), about 10 s under TSan alone.
constexpr Duration kDeadline{60000};

struct Outcome {
  ExitStatus status;
  std::string output, errors;
};

// One line on standard error, "cfgctl: ...".
bool IsOneErrorLine(const std::string& errors) {
  return errors.compare(0, 8, "cfgctl: ") == 0 && std::count(errors.begin(), errors.end(), '\n') == 1 &&
         errors.back() == '\n';
}

// Values that INI cannot hold as they are, in a file written by hand (so
// the writer's escaping is not checked against itself), with what get
// must print for some of them.
const char kAwkwardIni[] =
    "; set awkward\n"
    "[awkward]\n"
    "lead = \"  leading\"\n"
    "trail = \"trailing \\t\"\n"
    "equals = a=b=c\n"
    "semicolon = ; not a comment\n"
    "hash = # not a comment\n"
    "quotes = \"\\\"quoted\\\"\"\n"
    "inner = say \"hi\"\n"
    "commas = 10.0.0.1, 9.9.9.9\n"
    "lines = \"one\\ntwo\\r\\n\"\n"
    "bytes = \"nul\\x00byte\\x01\\x7F\\xFF\"\n"
    "backslash = C:\\temp\n"
    "empty =\n"
    "\"key = with equals\" = v\n"
    "\"[not a section\" = v\n"
    "\"; not a comment\" = v\n"
    "[\"odd ] section\"]\n"
    "\"  \" = blanks for a key\n"
    "; set odd set/x\n"
    "[\"\\x01\"]\n"
    "k = v\n";

// A value with blanks around it and INI's special characters inside.
const char kAwkwardValue[] = "  a=b; #c, \"d\" \\e\t ";

class CfgctlEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteFile(directory_.File("network.ini"),
                          "[eth0]\naddress = 192.168.1.10\nmtu = 1500\ngateway = 192.168.1.1\n[dns]\nservers = 10.0.0.1\n"));
    ASSERT_TRUE(WriteFile(directory_.File("system.ini"), "[time]\nzone = UTC\n"));
    LxStatus started = server_.Start({Runtime(), directory_.File("config.db"),
                                      {directory_.File("network.ini"), directory_.File("system.ini")},
                                      serverArguments_});
    ASSERT_TRUE(started.ok()) << started.ToString();
  }

  std::string Runtime() const { return directory_.File("run"); }

  ChildProcess::Options Environment(const std::string& runtime = std::string()) const {
    return {{"CFGSERVER_RUNTIME_DIR=" + (runtime.empty() ? Runtime() : runtime)}, true};
  }

  Outcome Cfgctl(const std::vector<std::string>& arguments, const std::string& runtime = std::string()) {
    ChildProcess child;
    Outcome run;
    LxStatus status = child.Start(QUENLO_CFGCTL_PATH, arguments, Environment(runtime));
    EXPECT_TRUE(status.ok()) << status.ToString();
    EXPECT_TRUE(child.Wait(kDeadline, &run.status).ok());
    run.output = child.output();
    run.errors = child.errors();
    return run;
  }

  // Runs cfgctl and expects the exit status and standard output exactly.
  void Expect(const std::vector<std::string>& arguments, int exitStatus, const std::string& output) {
    const Outcome run = Cfgctl(arguments);
    std::string command;
    for (const std::string& argument : arguments) command += argument + " ";
    EXPECT_TRUE(run.status.IsExit(exitStatus)) << command << run.status.ToString() << " " << run.errors;
    EXPECT_EQ(run.output, output) << command;
    if (exitStatus != 0) {
      EXPECT_TRUE(IsOneErrorLine(run.errors)) << command << run.errors;
    }
  }

  // The console types lines and quits; returns what it printed.
  std::string Console(const std::vector<std::string>& lines) {
    ChildProcess console;
    EXPECT_TRUE(console.Start(QUENLO_CLIENT_PATH, {}, Environment()).ok());
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    EXPECT_TRUE(console.Write(text + "q\n", kDeadline).ok());
    ExitStatus status;
    EXPECT_TRUE(console.Wait(kDeadline, &status).ok());
    return console.output();
  }

  // Changes, adds and deletes keys of the imported sets, and adds a set.
  void ChangeTheDefaults() {
    Expect({"set", "network", "eth0", "mtu", "-9000"}, 0, "");
    Expect({"set", "network", "eth0", "note", kAwkwardValue}, 0, "");
    Expect({"set", "system", "time", "zone", "Europe/Zurich"}, 0, "");
    Expect({"delete", "network", "eth0", "gateway"}, 0, "");
    Expect({"set", "extra", "s", "k", "v"}, 0, "");
  }

  // Imports kAwkwardIni: the sets awkward and "odd set/x".
  void ImportAwkward() {
    ASSERT_TRUE(WriteFile(directory_.File("awkward.ini"), kAwkwardIni));
    Expect({"import", directory_.File("awkward.ini")}, 0, "");
  }

  // cfgctl digest NAMES: 64 lowercase hexadecimal digits and a newline.
  std::string Digest(const std::vector<std::string>& names = {}, const std::string& runtime = std::string()) {
    std::vector<std::string> arguments = {"digest"};
    arguments.insert(arguments.end(), names.begin(), names.end());
    const Outcome run = Cfgctl(arguments, runtime);
    EXPECT_TRUE(run.status.IsExit(0)) << run.status.ToString() << " " << run.errors;
    EXPECT_EQ(run.output.size(), 65u) << run.output;
    EXPECT_EQ(run.output.find_first_not_of("0123456789abcdef"), 64u) << run.output;
    return run.output;
  }

  // Starts cfgctl watch; returns once its subscription is in place, which
  // is once a write shows up.
  void StartWatch(ChildProcess& watch) {
    ASSERT_TRUE(watch.Start(QUENLO_CFGCTL_PATH, {"watch"}, Environment()).ok());
    bool subscribed = false;
    for (int attempt = 0; attempt < 50 && !subscribed; ++attempt) {
      Expect({"set", "probe", "p", "k", std::to_string(attempt)}, 0, "");
      subscribed = watch.ReadUntil("probe p k = " + std::to_string(attempt) + "\n", Duration(400)).ok();
    }
    ASSERT_TRUE(subscribed) << watch.output() << watch.errors();
  }

  // Stops the server (SIGTERM, or SIGKILL when killed) and starts it again
  // on the same database, with the same imports and extraArguments.
  void Restart(const std::vector<std::string>& extraArguments = {}, bool killed = false) {
    ExitStatus stopped;
    ASSERT_TRUE(killed ? server_.Kill().ok() : server_.Stop(&stopped).ok());
    const LxStatus started = server_.Start({Runtime(), directory_.File("config.db"),
                                            {directory_.File("network.ini"), directory_.File("system.ini")},
                                            extraArguments});
    ASSERT_TRUE(started.ok()) << started.ToString();
  }

  // Four changes after the two imports at start (revisions 1 and 2): 3 to 6.
  void MakeFourChanges() {
    Expect({"set", "network", "eth0", "mtu", "9000"}, 0, "");
    Expect({"set", "network", "eth0", "mtu", "1400"}, 0, "");
    Expect({"delete", "network", "eth0", "gateway"}, 0, "");
    Expect({"set", "system", "time", "zone", "Europe/Zurich"}, 0, "");
  }

  TemporaryDirectory directory_;
  std::vector<std::string> serverArguments_;  // beyond the runtime, database and imports
  ServerProcess server_;
};

// output with every UTC time in it (2026-12-06T15:45:00Z) replaced by TIME,
// and every pid by PID.
// (Matched by hand: GCC 12 warns inside <regex> under the sanitizers.)
std::string WithoutTimes(const std::string& output) {
  const std::string kTimeShape = "0000-00-00T00:00:00Z";  // 0: a digit
  const auto isDigit = [](char byte) { return byte >= '0' && byte <= '9'; };
  const auto timeAt = [&](std::size_t at) {
    if (output.size() - at < kTimeShape.size()) return false;
    for (std::size_t index = 0; index < kTimeShape.size(); ++index)
      if (kTimeShape[index] == '0' ? !isDigit(output[at + index]) : output[at + index] != kTimeShape[index])
        return false;
    return true;
  };
  std::string replaced;
  for (std::size_t at = 0; at < output.size();) {
    if (timeAt(at)) {
      replaced += "TIME";
      at += kTimeShape.size();
    } else if (output.compare(at, 4, "pid ") == 0 && at + 4 < output.size() && isDigit(output[at + 4])) {
      replaced += "pid PID";
      for (at += 4; at < output.size() && isDigit(output[at]);) ++at;
    } else {
      replaced += output[at++];
    }
  }
  return replaced;
}

// Who the tests run as, as history names a user and a program: the server
// reads its peers' credentials.
std::string Me(const std::string& program = "cfgctl") {
  return qet_cfgserver::UserName(geteuid()) + " " + ChildProcess::KernelName(program);
}

TEST_F(CfgctlEndToEnd, HelpDescribesTheExitStatuses) {
  const Outcome help = Cfgctl({"--help"});
  EXPECT_TRUE(help.status.IsExit(0));
  EXPECT_NE(help.output.find("Exit status"), std::string::npos);
}

TEST_F(CfgctlEndToEnd, BadCommandLinesExitWithTwo) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, {"get", "network", "eth0"}, {"frobnicate"}, {"import", "--bogus", "x.ini"},
        {"digest", "network", "system"}})
    Expect(arguments, 2, "");
}

TEST_F(CfgctlEndToEnd, GetAndListPrintWhatSetStoredByteForByte) {
  Expect({"get", "network", "eth0", "mtu"}, 0, "1500\n");
  Expect({"set", "network", "eth0", "mtu", "-9000"}, 0, "");  // a leading '-' is a value, not an option
  Expect({"set", "network", "eth0", "note", kAwkwardValue}, 0, "");
  Expect({"get", "network", "eth0", "note"}, 0, kAwkwardValue + std::string("\n"));
  Expect({"list"}, 0, "network\nsystem\n");
  Expect({"list", "network"}, 0, "dns\neth0\n");
  Expect({"list", "network", "eth0"}, 0,
         "address=192.168.1.10\ngateway=192.168.1.1\nmtu=-9000\nnote=" + std::string(kAwkwardValue) + "\n");
}

TEST_F(CfgctlEndToEnd, WhatIsAbsentExitsWithOne) {
  Expect({"get", "network", "eth0", "nosuch"}, 1, "");
  Expect({"delete", "network", "eth0", "gateway"}, 0, "");
  Expect({"delete", "network", "eth0", "gateway"}, 1, "");
  Expect({"export", "nosuch"}, 1, "");
  Expect({"digest", "nosuch"}, 1, "");
}

TEST_F(CfgctlEndToEnd, WhatTheServerRejectsExitsWithFour) {
  Expect({"set", "network", "", "k", "v"}, 4, "");  // an empty name
}

TEST_F(CfgctlEndToEnd, WithoutAServerCommandsExitWithThree) {
  ExitStatus stopped;
  ASSERT_TRUE(server_.Stop(&stopped).ok());
  Expect({"get", "network", "eth0", "mtu"}, 3, "");
  Expect({"list"}, 3, "");
  Expect({"digest"}, 3, "");
}

TEST_F(CfgctlEndToEnd, TheConsoleAndCfgctlSeeEachOthersWrites) {
  Expect({"set", "network", "eth0", "mtu", "-9000"}, 0, "");
  EXPECT_NE(Console({"network,eth0,mtu", "system,time,zone,Europe/Zurich"}).find("    -9000    status = ok\n"),
            std::string::npos);
  Expect({"get", "system", "time", "zone"}, 0, "Europe/Zurich\n");
}

TEST_F(CfgctlEndToEnd, DeleteRemovesAKeyASectionOrASet) {
  Expect({"set", "extra", "s", "k", "v"}, 0, "");
  Expect({"delete", "network", "eth0", "gateway"}, 0, "");
  Expect({"delete", "extra"}, 0, "");
  Expect({"delete", "network", "dns"}, 0, "");
  Expect({"list"}, 0, "network\nsystem\n");
  Expect({"list", "network"}, 0, "eth0\n");
  Expect({"list", "network", "eth0"}, 0, "address=192.168.1.10\nmtu=1500\n");
}

TEST_F(CfgctlEndToEnd, ChangesListWhatDiffersFromTheFactoryDefaults) {
  ChangeTheDefaults();
  Expect({"changes"}, 0,
         "added extra s k = v\n"
         "deleted network eth0 gateway was 192.168.1.1\n"
         "changed network eth0 mtu = -9000 was 1500\n"
         "added network eth0 note = \"  a=b; #c, \\\"d\\\" \\\\e\\t \"\n"
         "changed system time zone = Europe/Zurich was UTC\n");
  Expect({"changes", "system"}, 0, "changed system time zone = Europe/Zurich was UTC\n");
}

TEST_F(CfgctlEndToEnd, ResetRestoresTheFactoryDefaults) {
  ChangeTheDefaults();
  Expect({"reset", "network", "eth0", "mtu"}, 0, "");
  Expect({"get", "network", "eth0", "mtu"}, 0, "1500\n");
  Expect({"reset"}, 0, "");
  Expect({"changes"}, 0, "");
  Expect({"list", "network", "eth0"}, 0, "address=192.168.1.10\ngateway=192.168.1.1\nmtu=1500\n");
}

TEST_F(CfgctlEndToEnd, ImportGivesValuesIniCannotHoldAsTheyAreByteForByte) {
  ImportAwkward();
  Expect({"get", "awkward", "awkward", "lead"}, 0, "  leading\n");
  Expect({"get", "awkward", "awkward", "trail"}, 0, "trailing \t\n");
  Expect({"get", "awkward", "awkward", "quotes"}, 0, "\"quoted\"\n");
  Expect({"get", "awkward", "awkward", "inner"}, 0, "say \"hi\"\n");
  Expect({"get", "awkward", "awkward", "semicolon"}, 0, "; not a comment\n");
  Expect({"get", "awkward", "awkward", "bytes"}, 0, std::string("nul\0byte\x01\x7F\xFF\n", 12));
  Expect({"get", "awkward", "awkward", "lines"}, 0, "one\ntwo\r\n\n");
  Expect({"get", "awkward", "awkward", "backslash"}, 0, "C:\\temp\n");
  Expect({"get", "awkward", "awkward", "key = with equals"}, 0, "v\n");
  Expect({"get", "awkward", "odd ] section", "  "}, 0, "blanks for a key\n");
  Expect({"get", "odd set/x", "\x01", "k"}, 0, "v\n");
}

TEST_F(CfgctlEndToEnd, ExportResetImportGivesBackTheSameBytes) {
  ImportAwkward();
  Expect({"set", "network", "eth0", "mtu", "9000"}, 0, "");
  Expect({"delete", "network", "eth0", "gateway"}, 0, "");
  const Outcome a = Cfgctl({"export"});
  ASSERT_TRUE(a.status.IsExit(0)) << a.errors;
  EXPECT_NE(a.output.find("; set network\n\n[dns]\nservers = 10.0.0.1\n"), std::string::npos) << a.output;
  ASSERT_TRUE(WriteFile(directory_.File("a.ini"), a.output));
  Expect({"reset"}, 0, "");
  Expect({"get", "network", "eth0", "mtu"}, 0, "1500\n");
  Expect({"import", "--replace", directory_.File("a.ini")}, 0, "");
  Expect({"export"}, 0, a.output);
}

// One file per set, named so that cfgserver --import fills the same sets:
// a second server on those files exports the same text.
TEST_F(CfgctlEndToEnd, CfgserverImportsExportDirAsTheSameSets) {
  ImportAwkward();
  Expect({"set", "network", "eth0", "mtu", "9000"}, 0, "");
  Expect({"delete", "network", "eth0", "gateway"}, 0, "");
  const Outcome a = Cfgctl({"export"});
  ASSERT_TRUE(a.status.IsExit(0)) << a.errors;
  Expect({"export", "--dir", directory_.File("backup")}, 0, "");
  // Each file looked up by name: a 32-bit program under qemu-user cannot
  // list a directory whose entries carry 64-bit offsets.
  const std::vector<std::string> files = {"awkward.ini", "network.ini", "odd%20set%2Fx.ini", "system.ini"};
  for (const std::string& file : files)
    EXPECT_EQ(access(directory_.File("backup/" + file).c_str(), R_OK), 0) << file;
  ServerProcess second;
  ServerProcess::Options options{directory_.File("run2"), directory_.File("second.db"), {}, {}};
  for (const std::string& file : files) options.imports.push_back(directory_.File("backup/" + file));
  LxStatus started = second.Start(options);
  ASSERT_TRUE(started.ok()) << started.ToString();
  EXPECT_EQ(Cfgctl({"export"}, directory_.File("run2")).output, a.output);
}

// Files are read before anything is sent: one bad file imports nothing.
TEST_F(CfgctlEndToEnd, ImportOfABadOrMissingFileIsRefusedWhole) {
  ASSERT_TRUE(WriteFile(directory_.File("good.ini"), "[s]\nk = v\n"));
  ASSERT_TRUE(WriteFile(directory_.File("bad.ini"), "[s]\n\"bad \\q escape\" = v\n"));
  const Outcome refused = Cfgctl({"import", directory_.File("good.ini"), directory_.File("bad.ini")});
  EXPECT_TRUE(refused.status.IsExit(5)) << refused.status.ToString();
  EXPECT_NE(refused.errors.find("bad.ini: line 2"), std::string::npos) << refused.errors;
  Expect({"get", "good", "s", "k"}, 1, "");
  Expect({"import", directory_.File("missing.ini")}, 5, "");
}

// The example of cfgctl(1) and the README: the canonical form is what they
// say, byte for byte, so that another tool can compute the same digest.
TEST_F(CfgctlEndToEnd, DigestOfTheDocumentedExampleIsTheDocumentedOne) {
  Expect({"delete", "network"}, 0, "");
  Expect({"delete", "system"}, 0, "");
  Expect({"set", "network", "eth0", "mtu", "1500"}, 0, "");
  const std::string documented = "a3a374d99765895b1038329294d6cae905677118cb6e1fccbbc5a4bbd3c322f1\n";
  EXPECT_EQ(Digest(), documented);
  EXPECT_EQ(Digest({"network"}), documented);
}

// The same keys and values, on a second server as the operator's writes in
// another order (a detour included) rather than as defaults.
TEST_F(CfgctlEndToEnd, EqualConfigurationsWrittenInAnotherOrderHaveEqualDigests) {
  Expect({"set", "network", "eth0", "note", kAwkwardValue}, 0, "");
  ServerProcess second;
  LxStatus started = second.Start({directory_.File("run2"), directory_.File("second.db"), {}, {}});
  ASSERT_TRUE(started.ok()) << started.ToString();
  const std::string runtime = directory_.File("run2");
  const std::vector<std::vector<std::string>> writes = {
      {"set", "system", "time", "zone", "UTC"},           {"set", "network", "eth0", "note", kAwkwardValue},
      {"set", "network", "eth0", "mtu", "9000"},          {"set", "extra", "s", "k", "v"},
      {"set", "network", "dns", "servers", "10.0.0.1"},   {"set", "network", "eth0", "gateway", "192.168.1.1"},
      {"set", "network", "eth0", "mtu", "1500"},          {"delete", "extra"},
      {"set", "network", "eth0", "address", "192.168.1.10"}};
  for (const std::vector<std::string>& write : writes) {
    const Outcome run = Cfgctl(write, runtime);
    ASSERT_TRUE(run.status.IsExit(0)) << write[0] << " " << write[1] << ": " << run.errors;
  }
  EXPECT_EQ(Digest({}, runtime), Digest());
  EXPECT_EQ(Digest({"network"}, runtime), Digest({"network"}));
  EXPECT_EQ(Digest({"system"}, runtime), Digest({"system"}));
}

// Each configuration of the sets t and ta differs from the first in one
// way only; the first written again gives its digest back.
TEST_F(CfgctlEndToEnd, DigestsDifferForAChangedValueAMovedKeyOrNamesSplitElsewhere) {
  using Keys = std::vector<std::vector<std::string>>;  // set, section, key, value
  const Keys cases[] = {
      {{"t", "ab", "c", "v"}, {"t", "s", "k", "1"}},
      {{"t", "ab", "c", "v"}, {"t", "s", "k", "2"}},   // a changed value
      {{"t", "ab", "c", "v"}, {"t", "s2", "k", "1"}},  // the same key and value in another section
      {{"t", "a", "bc", "v"}, {"t", "s", "k", "1"}},   // section and key split elsewhere
      {{"t", "ab", "cv", ""}, {"t", "s", "k", "1"}},   // key and value split elsewhere
      {{"ta", "b", "c", "v"}, {"t", "s", "k", "1"}},   // set and section split elsewhere
  };
  const auto write = [this](const Keys& keys) {
    Cfgctl({"delete", "t"});
    Cfgctl({"delete", "ta"});
    for (const std::vector<std::string>& key : keys) Expect({"set", key[0], key[1], key[2], key[3]}, 0, "");
  };
  std::vector<std::string> digests;
  for (const Keys& keys : cases) {
    write(keys);
    const std::string digest = Digest();
    EXPECT_EQ(std::find(digests.begin(), digests.end(), digest), digests.end()) << "case " << digests.size();
    digests.push_back(digest);
  }
  write(cases[0]);
  EXPECT_EQ(Digest(), digests[0]);
}

TEST_F(CfgctlEndToEnd, DigestOfASetIsItsOwnAndUnaffectedByOtherSets) {
  Expect({"set", "a", "s", "k", "v"}, 0, "");
  Expect({"set", "b", "s", "k", "v"}, 0, "");
  const std::string a = Digest({"a"}), network = Digest({"network"}), system = Digest({"system"}), all = Digest();
  EXPECT_NE(a, Digest({"b"}));  // the same keys and values in a set of another name
  Expect({"set", "system", "time", "zone", "CET"}, 0, "");
  Expect({"delete", "b"}, 0, "");
  EXPECT_EQ(Digest({"a"}), a);
  EXPECT_EQ(Digest({"network"}), network);
  EXPECT_NE(Digest({"system"}), system);
  EXPECT_NE(Digest(), all);
}

// Lines of a watch's output that start with prefix, which must come in
// commit order (here: name order), and the changes it was told it missed.
void CountLines(const std::string& output, const std::string& prefix, std::size_t* lines, std::size_t* missed) {
  *lines = *missed = 0;
  std::string lastName;
  std::size_t start = 0;
  for (std::size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = output.substr(start, end - start), name = line.substr(0, line.find(" = "));
    if (line.compare(0, prefix.size(), prefix) == 0) {
      EXPECT_LT(lastName, name) << "out of order";
      lastName = name;
      ++*lines;
    }
    if (line.compare(0, 7, "missed ") == 0) *missed += std::stoul(line.substr(7));
  }
}

TEST_F(CfgctlEndToEnd, WatchPrintsConsoleWritesImportsAndDeletesInCommitOrder) {
  ChildProcess watch;
  StartWatch(watch);
  Console({"network,eth0,mtu,9000"});
  EXPECT_TRUE(watch.ReadUntil("network eth0 mtu = 9000\n", kDeadline).ok()) << watch.output();
  ASSERT_TRUE(WriteFile(directory_.File("system.ini"), "[time]\nzone = \"Europe/Zurich \"\nntp = on\n"));
  Expect({"import", directory_.File("system.ini")}, 0, "");
  Expect({"delete", "network", "eth0", "gateway"}, 0, "");
  // The import's changes in key order, then the delete: commit order.
  EXPECT_TRUE(watch.ReadUntil("system time ntp = on\nsystem time zone = \"Europe/Zurich \"\n"
                              "network eth0 gateway deleted\n", kDeadline).ok())
      << watch.output();
}

// A stopped watcher cannot keep up with 300 changes of 10 KiB each: the
// server drops what it cannot queue and says how much, never silently.
TEST_F(CfgctlEndToEnd, AWatchThatFellBehindIsToldHowManyChangesItMissed) {
  ChildProcess watch;
  StartWatch(watch);
  // 1 MiB a set, more than the queue and the socket hold; no more, so that
  // each set's commit with its history stays well within cfgctl's 3 s
  // under TSan on a loaded machine.
  const std::size_t kSets = 3, kKeys = 100;
  std::string bulk;
  for (std::size_t set = 0; set < kSets; ++set) {
    bulk += "; set bulk" + std::to_string(set) + "\n[s]\n";
    for (std::size_t key = 0; key < kKeys; ++key) bulk += "k" + std::to_string(key) + " = " + std::string(10240, 'v') + "\n";
  }
  ASSERT_TRUE(WriteFile(directory_.File("bulk.ini"), bulk));
  ASSERT_TRUE(watch.Signal(SIGSTOP).ok());
  Expect({"import", directory_.File("bulk.ini")}, 0, "");
  Expect({"set", "after", "s", "k", "v"}, 0, "");
  ASSERT_TRUE(watch.Signal(SIGCONT).ok());
  ASSERT_TRUE(watch.ReadUntil("after s k = v\n", kDeadline).ok()) << watch.output().substr(0, 400);
  std::size_t seen = 0, missed = 0;
  CountLines(watch.output(), "bulk", &seen, &missed);
  EXPECT_GT(missed, 0u);
  EXPECT_EQ(seen + missed, kSets * kKeys);
}

TEST_F(CfgctlEndToEnd, WatchEndsCleanlyOnSigTerm) {
  ChildProcess watch;
  StartWatch(watch);
  ASSERT_TRUE(watch.Signal(SIGTERM).ok());
  ExitStatus status;
  ASSERT_TRUE(watch.Wait(kDeadline, &status).ok());
  EXPECT_TRUE(status.IsExit(0)) << status.ToString() << watch.errors();
}

// Revisions: the imports at start made 1 and 2, four changes 3 to 6, each
// with the user and the program that made it.
TEST_F(CfgctlEndToEnd, RevisionCountsTheChangesAndHistoryListsTheNewestFirst) {
  Expect({"revision"}, 0, "2\n");
  MakeFourChanges();
  Expect({"revision"}, 0, "6\n");
  const Outcome history = Cfgctl({"history", "-n", "3"});
  EXPECT_TRUE(history.status.IsExit(0)) << history.errors;
  EXPECT_EQ(WithoutTimes(history.output),
            "6 TIME " + Me() + " set system time zone\n"
            "5 TIME " + Me() + " delete network eth0 gateway\n"
            "4 TIME " + Me() + " set network eth0 mtu\n");
  const Outcome mtu = Cfgctl({"history", "network", "eth0", "mtu"});
  EXPECT_EQ(WithoutTimes(mtu.output),
            "4 TIME " + Me() + " set network eth0 mtu\n"
            "3 TIME " + Me() + " set network eth0 mtu\n"
            "1 TIME " + Me("cfgserver") + " defaults network from " + directory_.File("network.ini") + " (4 keys)\n")
      << mtu.errors;
}

TEST_F(CfgctlEndToEnd, ShowGivesEachKeyARevisionChangedWithItsNewAndOldValue) {
  MakeFourChanges();
  const Outcome show = Cfgctl({"show", "4"});
  EXPECT_TRUE(show.status.IsExit(0)) << show.errors;
  EXPECT_EQ(WithoutTimes(show.output),
            "4 TIME " + Me() + " set network eth0 mtu\n"
            "client cfgctl tag cfgctl uid " + std::to_string(geteuid()) + " pid PID\n"
            "changed network eth0 mtu = 1400 was 9000\n");
  const Outcome defaults = Cfgctl({"show", "2"});
  EXPECT_NE(defaults.output.find("\nadded system time zone = UTC\n"), std::string::npos) << defaults.output;
  const Outcome deleted = Cfgctl({"show", "5"});
  EXPECT_NE(deleted.output.find("\ndeleted network eth0 gateway was 192.168.1.1\n"), std::string::npos)
      << deleted.output;
}

TEST_F(CfgctlEndToEnd, DiffShowsWhatDiffersBetweenTwoRevisions) {
  MakeFourChanges();
  Expect({"diff", "2"}, 0,
         "deleted network eth0 gateway was 192.168.1.1\n"
         "changed network eth0 mtu = 1400 was 1500\n"
         "changed system time zone = Europe/Zurich was UTC\n");
  Expect({"diff", "4", "3"}, 0, "changed network eth0 mtu = 9000 was 1400\n");
  Expect({"diff", "6", "6"}, 0, "");
}

// A rollback returns every key changed since its revision, is a revision
// itself, and all of it is still there after a restart.
TEST_F(CfgctlEndToEnd, RollbackRestoresAndIsItselfARevisionThatSurvivesARestart) {
  MakeFourChanges();
  Expect({"rollback", "3"}, 0, "");
  Expect({"get", "network", "eth0", "mtu"}, 0, "9000\n");
  Expect({"get", "network", "eth0", "gateway"}, 0, "192.168.1.1\n");
  Expect({"get", "system", "time", "zone"}, 0, "UTC\n");
  Expect({"revision"}, 0, "7\n");
  const std::string history = WithoutTimes(Cfgctl({"history", "-n", "2"}).output);
  EXPECT_EQ(history, "7 TIME " + Me() + " rollback 3 (3 keys)\n6 TIME " + Me() + " set system time zone\n");
  Restart();
  Expect({"revision"}, 0, "7\n");
  EXPECT_EQ(WithoutTimes(Cfgctl({"history", "-n", "2"}).output), history);
  Expect({"get", "network", "eth0", "mtu"}, 0, "9000\n");
  Expect({"rollback", "6"}, 0, "");  // the rollback undone
  Expect({"get", "network", "eth0", "mtu"}, 0, "1400\n");
  Expect({"revision"}, 0, "8\n");
}

TEST_F(CfgctlEndToEnd, ARevisionNoLongerKeptOrNotMadeYetExitsWithOne) {
  Restart({"--history", "2"});
  MakeFourChanges();
  Expect({"rollback", "3"}, 1, "");
  EXPECT_EQ(Cfgctl({"rollback", "3"}).errors,
            "cfgctl: rollback 3: revision 3 is no longer kept (the oldest kept is 5)\n");
  EXPECT_EQ(Cfgctl({"show", "4"}).errors, "cfgctl: show 4: revision 4 is no longer kept (the oldest kept is 5)\n");
  EXPECT_EQ(Cfgctl({"diff", "1", "9"}).errors, "cfgctl: diff 1 9: revision 9 is not made yet (the current one is 6)\n");
  Expect({"get", "network", "eth0", "mtu"}, 0, "1400\n");  // nothing rolled back
  Expect({"rollback", "4"}, 0, "");                           // 5 and 6 are kept: enough
  Expect({"get", "network", "eth0", "mtu"}, 0, "1400\n");
  Expect({"get", "network", "eth0", "gateway"}, 0, "192.168.1.1\n");
  Expect({"show", "x"}, 2, "");
}

// Confirmed changes: applied at once, kept by confirm; confirm or cancel
// with nothing awaiting is status 1.
TEST_F(CfgctlEndToEnd, AChangeToConfirmIsAppliedAtOnceAndKeptWhenConfirmed) {
  Expect({"set", "--confirm", "600", "network", "eth0", "mtu", "9000"}, 0, "");
  Expect({"get", "network", "eth0", "mtu"}, 0, "9000\n");
  Expect({"confirm"}, 0, "");
  Expect({"confirm"}, 1, "");
  EXPECT_EQ(Cfgctl({"cancel"}).errors, "cfgctl: cancel: no change awaits confirmation\n");
  Expect({"get", "network", "eth0", "mtu"}, 0, "9000\n");
  EXPECT_EQ(WithoutTimes(Cfgctl({"history", "-n", "1"}).output),
            "3 TIME " + Me() + " set --confirm 600 network eth0 mtu\n");
}

// cancel rolls back at once the change awaiting confirmation and every
// change made after it, by anyone.
TEST_F(CfgctlEndToEnd, CancelRollsBackTheChangeToConfirmAndEveryChangeAfterIt) {
  Expect({"delete", "--confirm", "600", "network", "eth0", "gateway"}, 0, "");
  Expect({"set", "system", "time", "zone", "Europe/Zurich"}, 0, "");
  Expect({"cancel"}, 0, "");
  Expect({"get", "network", "eth0", "gateway"}, 0, "192.168.1.1\n");
  Expect({"get", "system", "time", "zone"}, 0, "UTC\n");
  EXPECT_EQ(WithoutTimes(Cfgctl({"history", "-n", "1"}).output), "5 TIME " + Me() + " cancel (2 keys)\n");
  Expect({"cancel"}, 1, "");
}

// Not confirmed in time: rolled back by the server, logged as a WARNING.
TEST_F(CfgctlEndToEnd, AChangeNotConfirmedInTimeIsRolledBack) {
  Expect({"set", "--confirm", "1", "network", "eth0", "mtu", "9000"}, 0, "");
  ASSERT_TRUE(server_.WaitForLog("not confirmed in time: rolled back to revision 2 as revision 4").ok())
      << server_.errors();
  Expect({"get", "network", "eth0", "mtu"}, 0, "1500\n");
  EXPECT_NE(server_.errors().find("WARNING"), std::string::npos);
  Expect({"confirm"}, 1, "");
}

// A confirmation still awaited when the server dies is rolled back at its
// next start, before anything is served.
TEST_F(CfgctlEndToEnd, AChangeAwaitingConfirmationAtAKillIsRolledBackAtTheNextStart) {
  Expect({"import", "--confirm", "600", directory_.File("system.ini")}, 0, "");  // no change: no revision
  Expect({"reset", "--confirm", "600", "network"}, 0, "");                       // nothing to reset either
  Expect({"set", "--confirm", "600", "network", "eth0", "mtu", "9000"}, 0, "");
  Restart({}, true);
  Expect({"get", "network", "eth0", "mtu"}, 0, "1500\n");
  EXPECT_TRUE(server_.WaitForLog("not confirmed before the server stopped: rolled back to revision 2 as revision 4")
                  .ok())
      << server_.errors();
  Expect({"confirm"}, 1, "");
}

// watch --since: the changes after a revision, from history, then the live
// ones, each once, in order, each line led by its revision.
TEST_F(CfgctlEndToEnd, WatchSinceTellsTheChangesAfterARevisionThenTheLiveOnesEachOnce) {
  MakeFourChanges();
  ChildProcess watch;
  ASSERT_TRUE(watch.Start(QUENLO_CFGCTL_PATH, {"watch", "--since", "4"}, Environment()).ok());
  ASSERT_TRUE(watch.ReadUntil("6 system time zone = Europe/Zurich\n", kDeadline).ok()) << watch.output();
  Expect({"set", "network", "eth0", "mtu", "1000"}, 0, "");
  Expect({"delete", "network", "dns"}, 0, "");
  ASSERT_TRUE(watch.ReadUntil("8 network dns servers deleted\n", kDeadline).ok()) << watch.output();
  EXPECT_EQ(watch.output(),
            "5 network eth0 gateway deleted\n"
            "6 system time zone = Europe/Zurich\n"
            "7 network eth0 mtu = 1000\n"
            "8 network dns servers deleted\n");
}

// Stopped while 300 changes of 10 KiB are committed, a watch --since falls
// behind like any watcher: it is told how many revisions it missed, none in
// part after the notice. Resumed from the last revision it printed before
// them, a new watch gets every change, each once.
TEST_F(CfgctlEndToEnd, AWatchSinceThatFellBehindCountsTheRevisionsItMissedAndResumes) {
  ChildProcess watch;
  ASSERT_TRUE(watch.Start(QUENLO_CFGCTL_PATH, {"watch", "--since", "1"}, Environment()).ok());
  ASSERT_TRUE(watch.ReadUntil("2 system time zone = UTC\n", kDeadline).ok()) << watch.output();
  const std::size_t kSets = 3, kKeys = 100;  // as above
  std::string bulk;
  for (std::size_t set = 0; set < kSets; ++set) {
    bulk += "; set bulk" + std::to_string(set) + "\n[s]\n";
    for (std::size_t key = 0; key < kKeys; ++key) bulk += "k" + std::to_string(key) + " = " + std::string(10240, 'v') + "\n";
  }
  ASSERT_TRUE(WriteFile(directory_.File("bulk.ini"), bulk));
  ASSERT_TRUE(watch.Signal(SIGSTOP).ok());
  Expect({"import", directory_.File("bulk.ini")}, 0, "");  // revisions 3, 4 and 5
  Expect({"set", "after", "s", "k", "v"}, 0, "");
  ASSERT_TRUE(watch.Signal(SIGCONT).ok());
  ASSERT_TRUE(watch.ReadUntil("6 after s k = v\n", kDeadline).ok()) << watch.output().substr(0, 400);
  std::size_t lines = 0, missed = 0;
  CountLines(watch.output(), "3 bulk0", &lines, &missed);
  EXPECT_EQ(missed, kSets);
  EXPECT_LT(lines, kKeys);  // at most what the socket held before the queue was dropped
  EXPECT_EQ(watch.output().find(" bulk1 "), std::string::npos);
  EXPECT_EQ(watch.output().find(" bulk2 "), std::string::npos);
  ASSERT_TRUE(watch.Signal(SIGTERM).ok());

  ChildProcess resumed;
  ASSERT_TRUE(resumed.Start(QUENLO_CFGCTL_PATH, {"watch", "--since", "2"}, Environment()).ok());
  ASSERT_TRUE(resumed.ReadUntil("6 after s k = v\n", kDeadline).ok()) << resumed.output().substr(0, 400);
  for (std::size_t set = 0; set < kSets; ++set) {
    CountLines(resumed.output(), std::to_string(3 + set) + " bulk" + std::to_string(set), &lines, &missed);
    EXPECT_EQ(lines, kKeys);
    EXPECT_EQ(missed, 0u);
  }
}

TEST_F(CfgctlEndToEnd, AWatchSinceARevisionNoLongerKeptExitsWithOneNamingTheOldestKept) {
  Restart({"--history", "2"});
  MakeFourChanges();
  const Outcome watch = Cfgctl({"watch", "--since", "2"});
  EXPECT_TRUE(watch.status.IsExit(1)) << watch.status.ToString();
  EXPECT_EQ(watch.errors, "cfgctl: watch --since 2: revision 2 is no longer kept (the oldest kept is 5)\n");
  Expect({"watch", "--since", "x"}, 2, "");
}

// A value written before a schema refused it is not brought back by a
// rollback once the server checks that schema: rejected with the reason,
// nothing changed, no revision made.
TEST_F(CfgctlEndToEnd, ARollbackToAValueTodaysSchemaRefusesIsRejectedWithItsReason) {
  Expect({"set", "network", "eth0", "mtu", "15OO"}, 0, "");  // revision 3
  Expect({"set", "network", "eth0", "mtu", "1400"}, 0, "");
  ASSERT_TRUE(WriteFile(directory_.File("network.schema"), "[eth*]\nmtu = integer 68..9000\n"));
  Restart({"--schema=" + directory_.File("network.schema")});
  const Outcome refused = Cfgctl({"rollback", "3"});
  EXPECT_TRUE(refused.status.IsExit(4)) << refused.status.ToString();
  EXPECT_EQ(refused.errors, "cfgctl: rollback 3: rejected: [eth0] mtu: 15OO is not an integer in 68..9000\n");
  Expect({"get", "network", "eth0", "mtu"}, 0, "1400\n");
  Expect({"revision"}, 0, "4\n");
}

// The same server with a schema for the set network.
class CfgctlSchemaEndToEnd : public CfgctlEndToEnd {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteFile(directory_.File("network.schema"),
                          "[eth*]\nmtu = integer 68..9000\nmode = enum dhcp|static|off\naddress = ipv4\n"));
    serverArguments_ = {"--schema=" + directory_.File("network.schema")};
    CfgctlEndToEnd::SetUp();
  }
};

TEST_F(CfgctlSchemaEndToEnd, ARefusedSetPrintsItsReasonAndChangesNothing) {
  const Outcome refused = Cfgctl({"set", "network", "eth0", "mtu", "15OO"});
  EXPECT_TRUE(refused.status.IsExit(4)) << refused.status.ToString();
  EXPECT_EQ(refused.errors, "cfgctl: set network eth0 mtu: rejected: 15OO is not an integer in 68..9000\n");
  Expect({"get", "network", "eth0", "mtu"}, 0, "1500\n");
}

// Rules of a wildcard section hold in every section it names; keys and
// sections no rule names take anything.
TEST_F(CfgctlSchemaEndToEnd, RulesHoldInEverySectionTheirPatternNames) {
  const struct {
    const char* section;
    const char* key;
    const char* value;
    int exitStatus;
  } writes[] = {{"eth1", "mode", "dhpc", 4},          {"eth1", "mode", "static", 0},
                {"eth7", "address", "10.0.0.300", 4}, {"eth7", "address", "10.0.0.30", 0},
                {"eth1", "mtu", "9001", 4},           {"eth1", "mtu", "68", 0},
                {"eth1", "note", "15OO", 0},          {"dns", "mtu", "15OO", 0}};
  for (const auto& write : writes)
    EXPECT_TRUE(Cfgctl({"set", "network", write.section, write.key, write.value}).status.IsExit(write.exitStatus))
        << write.section << " " << write.key << " " << write.value;
  Expect({"get", "network", "eth1", "mode"}, 0, "static\n");
  Expect({"get", "network", "eth7", "address"}, 0, "10.0.0.30\n");
  Expect({"get", "network", "eth1", "mtu"}, 0, "68\n");
  Expect({"get", "network", "eth1", "note"}, 0, "15OO\n");
  Expect({"get", "network", "dns", "mtu"}, 0, "15OO\n");
}

// One bad entry in one of the files: every refused entry is named by file
// and line, and no file's entries are written.
TEST_F(CfgctlSchemaEndToEnd, AnImportWithABadEntryNamesItAndWritesNothing) {
  ASSERT_EQ(mkdir(directory_.File("in").c_str(), 0700), 0);
  const std::string network = directory_.File("in/network.ini"), system = directory_.File("in/system.ini");
  ASSERT_TRUE(WriteFile(network, "[eth0]\nmtu = 9000\n\n[eth1]\nmode = dhpc\n"));
  ASSERT_TRUE(WriteFile(system, "[time]\nzone = CET\n"));
  const Outcome refused = Cfgctl({"import", system, network});
  EXPECT_TRUE(refused.status.IsExit(4)) << refused.status.ToString();
  EXPECT_EQ(refused.errors, "cfgctl: " + network + ": line 5: [eth1] mode: " + "dhpc is not one of dhcp|static|off\n");
  Expect({"get", "network", "eth0", "mtu"}, 0, "1500\n");
  Expect({"get", "system", "time", "zone"}, 0, "UTC\n");
}

TEST_F(CfgctlSchemaEndToEnd, ADryRunPrintsEachKeyThatWouldChangeAndWritesNothing) {
  const std::string network = directory_.File("network-new.ini");
  ASSERT_TRUE(WriteFile(network, "; set network\n[eth0]\naddress = 192.168.1.10\nmtu = 9000\n[eth2]\nmode = dhcp\n"));
  Expect({"import", "--dry-run", "--replace", network}, 0,
         "delete network dns servers was 10.0.0.1\n"
         "delete network eth0 gateway was 192.168.1.1\n"
         "change network eth0 mtu = 9000 was 1500\n"
         "add network eth2 mode = dhcp\n");
  Expect({"get", "network", "eth0", "mtu"}, 0, "1500\n");
  Expect({"get", "network", "eth2", "mode"}, 1, "");
  Expect({"changes", "network"}, 0, "");
}

// The console speaks version 1: a refusal shows as any rejection does.
TEST_F(CfgctlSchemaEndToEnd, TheConsoleShowsARefusedWriteAsRejectedAndChangesNothing) {
  const std::string session = Console({"network,eth0,mtu,15OO", "network,eth0,mtu"});
  EXPECT_NE(session.find("    15OO    status = rejected\n"), std::string::npos) << session;
  EXPECT_NE(session.find("    1500    status = ok\n"), std::string::npos) << session;
}

}  // namespace
}  // namespace quenlo_test
