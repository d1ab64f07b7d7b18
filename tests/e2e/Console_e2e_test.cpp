// The real console against a real server, each test in a runtime directory
// of its own, compared byte for byte.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "tests/support/ChildProcess.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TemporaryDirectory.h"

namespace quenlo_test {
namespace {

using Clock = std::chrono::steady_clock;

// Per handled line: the prompter's one-second pause, plus slack for
// emulated targets.
constexpr Duration kPerLine{2500};
const std::string kStartLine = "NOTICE cfgclient: ---- quenlo is starting ----";
const std::string kStopLine = "---- quenlo is stopping ----";

// "Configurator      build Mmm dd yyyy : hh:mm:ss\n", the day padded with a
// blank: past the fixed prefix, each pattern character is a class.
bool IsBanner(const std::string& line) {
  const std::string prefix = "Configurator      build ", pattern = "Aaa Dd dddd : dd:dd:dd\n";
  if (line.size() != prefix.size() + pattern.size() || line.compare(0, prefix.size(), prefix) != 0) return false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = line[prefix.size() + i];
    const bool matches = pattern[i] == 'A' ? isupper(c) : pattern[i] == 'a' ? islower(c)
                         : pattern[i] == 'D' ? (c == ' ' || (c >= '1' && c <= '3'))
                         : pattern[i] == 'd' ? isdigit(c) : c == pattern[i];
    if (!matches) return false;
  }
  return true;
}

// What the console writes for one handled line: the prompt, then the
// handler's newlines around the answer.
std::string Exchange(const std::string& answer) { return "\n: \n" + answer + "\n"; }
const std::string kQuit = "\n: \n";

class ConsoleEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteFile(directory_.File("network.ini"),
                          "[eth0]\naddress = 192.168.1.10\nmtu = 1500\ndhcp = no\n[dns]\nservers = 10.0.0.1\n"));
    ASSERT_TRUE(WriteFile(directory_.File("system.ini"), "[time]\nzone = UTC\n"));
  }

  void StartServer() {
    LxStatus started = server_.Start({directory_.File("run"), directory_.File("config.db"),
                                      {directory_.File("network.ini"), directory_.File("system.ini")}, {}});
    ASSERT_TRUE(started.ok()) << started.ToString();
  }

  // Starts the console; with waitForPrompt, returns once it prompts.
  void StartConsole(bool waitForPrompt = false) {
    LxStatus started = console_.Start(QUENLO_CLIENT_PATH, {}, {{"CFGSERVER_RUNTIME_DIR=" + directory_.File("run")}, true});
    ASSERT_TRUE(started.ok()) << started.ToString();
    if (waitForPrompt) {
      ASSERT_TRUE(console_.ReadUntil("\n: ", kPerLine).ok());
    }
  }

  void Type(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    ASSERT_TRUE(console_.Write(text, Duration(5000)).ok());
  }

  ExitStatus WaitForExit(Duration timeout) {
    ExitStatus status;
    EXPECT_TRUE(console_.Wait(timeout, &status).ok()) << console_.output();
    return status;
  }

  // Types lines and q (standard input stays open) and checks a clean end.
  void RunSession(std::vector<std::string> lines) {
    lines.push_back("q");
    Type(lines);
    EXPECT_TRUE(WaitForExit(kPerLine * (lines.size() + 2)).IsExit(0));
  }

  // Starts the console and, at its prompt, ends it with ending (0: the
  // operator types x); returns how it ended, which must be promptly and
  // after its starting line.
  ExitStatus EndAtThePrompt(int ending) {
    StartConsole(true);
    const Clock::time_point asked = Clock::now();
    if (ending == 0) {
      Type({"x"});
    } else {
      EXPECT_TRUE(console_.Signal(ending).ok());
    }
    const ExitStatus status = WaitForExit(kPerLine * 2);
    EXPECT_LT(Clock::now() - asked, std::chrono::milliseconds(2500));
    EXPECT_NE(console_.errors().find(kStartLine), std::string::npos) << console_.errors();
    return status;
  }

  std::string AfterBanner() const { return console_.output().substr(console_.output().find('\n') + 1); }

  TemporaryDirectory directory_;
  ServerProcess server_;
  ChildProcess console_;
};

TEST_F(ConsoleEndToEnd, SessionOfEveryCommandMatchesByteForByte) {
  StartServer();
  StartConsole();
  RunSession({",", "network", "network,eth0", "network,eth0,mtu", "network,eth0,mtu,9000", "network,eth0,mtu",
              "network,eth0,gateway", "nosuch,section", "", "q\r", " q", "   ", ",any,thing"});
  EXPECT_TRUE(IsBanner(console_.output().substr(0, console_.output().find('\n') + 1))) << console_.output();
  const std::string nothing = "\n\n    pfffft - nothing!\n";
  const std::string sets = "    Available Configuration Sets\n\n    network\n    system\n";
  EXPECT_EQ(AfterBanner(),
            Exchange(sets) +
                Exchange("    Available Configuration Sections for network\n\n    dns\n    eth0\n") +
                Exchange("    Available Configuration Keys and Values for network : eth0\n\n"
                         "    address    192.168.1.10\n    dhcp       no\n    mtu        1500\n") +
                Exchange("    Configuration Key Value for network : eth0 : mtu\n\n    1500    status = ok\n") +
                Exchange("    Set Configuration Key Value for network : eth0 : mtu\n\n    9000    status = ok\n") +
                Exchange("    Configuration Key Value for network : eth0 : mtu\n\n    9000    status = ok\n") +
                Exchange("    Configuration Key Value for network : eth0 : gateway\n\n        status = key not found\n") +
                Exchange("    Available Configuration Keys and Values for nosuch : section" + nothing) +
                "\n: " +  // the empty line: handed on, nothing written
                Exchange("    Available Configuration Sections for q" + nothing) +
                Exchange("    Available Configuration Sections for q" + nothing) +
                Exchange("    Available Configuration Sections for " + nothing) + Exchange(sets) + kQuit);
}

TEST_F(ConsoleEndToEnd, HelpIsFramedByOneEmptyLineBeforeAndTwoAfter) {
  StartServer();
  StartConsole();
  RunSession({"?"});
  EXPECT_EQ(AfterBanner().substr(0, 23), "\n: \nConfigurator Help\n\n");
  EXPECT_NE(AfterBanner().find("or H for this help.\n\n" + kQuit), std::string::npos) << AfterBanner();
}

TEST_F(ConsoleEndToEnd, QuitAndSigTermEndPromptlyInOrderWithInputOpen) {
  StartServer();
  for (int ending : {0, SIGTERM}) {
    SCOPED_TRACE("ending " + std::to_string(ending));
    const ExitStatus status = EndAtThePrompt(ending);
    EXPECT_TRUE(status.IsExit(0)) << status.ToString();
    EXPECT_EQ(AfterBanner(), ending == 0 ? kQuit : "\n: ");
    const std::string& log = console_.errors();
    EXPECT_NE(log.find(kStopLine, log.find(kStartLine)), std::string::npos) << log;
  }
}

TEST_F(ConsoleEndToEnd, SigIntEndsTheConsoleWithoutAnOrderlyStop) {
  StartServer();
  const ExitStatus status = EndAtThePrompt(SIGINT);
  EXPECT_TRUE(status.IsSignal(SIGINT)) << status.ToString();
  EXPECT_EQ(console_.errors().find(kStopLine), std::string::npos) << console_.errors();
}

TEST_F(ConsoleEndToEnd, EndOfInputKeepsPromptingUntilStopped) {
  StartServer();
  StartConsole();
  Type({"system"});
  console_.CloseInput();
  ASSERT_TRUE(console_.ReadUntil("    time\n", kPerLine).ok()) << console_.output();
  // One pass per second, each handing an empty line on; the prompts reach
  // the pipe when the stream is flushed, at the latest at exit.
  std::this_thread::sleep_for(std::chrono::milliseconds(4500));
  ExitStatus status;
  ASSERT_FALSE(console_.Exited(&status)) << "end of input must not end the console";
  ASSERT_TRUE(console_.Signal(SIGTERM).ok());
  EXPECT_TRUE(WaitForExit(kPerLine * 2).IsExit(0));
  EXPECT_NE(console_.output().find("    time\n\n\n: \n: \n: "), std::string::npos) << console_.output();
}

TEST_F(ConsoleEndToEnd, AcknowledgedWriteSurvivesKillOfTheServerAndItsRestart) {
  StartServer();
  StartConsole();
  Type({"system,time,zone,Europe/Zurich"});
  ASSERT_TRUE(console_.ReadUntil("status = ok\n", kPerLine).ok()) << console_.output();
  ASSERT_TRUE(server_.Kill().ok());
  StartServer();  // imports the defaults again: they must not overwrite the write
  RunSession({"system,time,zone"});  // the same console, across the restart
  EXPECT_NE(console_.output().find("    Europe/Zurich    status = ok\n"), std::string::npos) << console_.output();
}

TEST_F(ConsoleEndToEnd, ConsoleStartedBeforeItsServerUsesItOnceItIsUp) {
  StartConsole();
  Type({","});
  ASSERT_TRUE(console_.ReadUntil("Nothing found!\n", kPerLine).ok()) << console_.output();
  StartServer();
  Type({",", "system,time,zone"});
  ASSERT_TRUE(console_.ReadUntil("    UTC    status = ok\n", kPerLine * 3).ok()) << AfterBanner().substr(0, 300);
  EXPECT_NE(AfterBanner().find("    network\n    system\n"), std::string::npos);
}

TEST_F(ConsoleEndToEnd, ValueTooLongForTheServerIsShownRejected) {
  StartServer();
  StartConsole();
  const std::string huge(20000, 'v');
  Type({"system,time,zone," + huge, "system,time,zone"});
  ASSERT_TRUE(console_.ReadUntil("    UTC    status = ok\n", kPerLine * 3).ok()) << AfterBanner().substr(0, 300);
  EXPECT_NE(AfterBanner().find("    " + huge + "    status = rejected\n"), std::string::npos);
}

TEST_F(ConsoleEndToEnd, ConsoleOutlivesItsServer) {
  StartServer();
  StartConsole();
  Type({"system,time,zone"});
  ASSERT_TRUE(console_.ReadUntil("    UTC    status = ok\n", kPerLine).ok()) << console_.output();
  ExitStatus serverStatus;
  ASSERT_TRUE(server_.Stop(&serverStatus).ok());
  RunSession({"system,time,zone"});
  EXPECT_NE(AfterBanner().find("        status = no server\n"), std::string::npos) << AfterBanner();
}

}  // namespace
}  // namespace quenlo_test
