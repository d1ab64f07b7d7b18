// The real console against a real server, each test in a runtime directory
// of its own, compared byte for byte.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "ConsoleSession.h"
#include "ServerProcess.h"
#include "TemporaryDirectory.h"

namespace quenlo_test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kNetworkIni =
    "[eth0]\n"
    "address = 192.168.1.10\n"
    "mtu = 1500\n"
    "dhcp = no\n"
    "[dns]\n"
    "servers = 10.0.0.1\n";

constexpr const char* kSystemIni =
    "[time]\n"
    "zone = UTC\n";

const std::string kStartLine = "---- quenlo is starting ----";
const std::string kStopLine = "---- quenlo is stopping ----";

// "Configurator      build Mmm dd yyyy : hh:mm:ss\n", the day padded with a
// blank: after the fixed prefix, each character of the pattern stands for a
// class of characters.
bool IsBanner(const std::string& line) {
  const std::string prefix = "Configurator      build ";
  const std::string pattern = "Aaa Dd dddd : dd:dd:dd\n";
  if (line.size() != prefix.size() + pattern.size() || line.compare(0, prefix.size(), prefix) != 0) return false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = line[prefix.size() + i];
    const bool matches = pattern[i] == 'A'   ? isupper(c)
                         : pattern[i] == 'a' ? islower(c)
                         : pattern[i] == 'D' ? (c == ' ' || (c >= '1' && c <= '3'))
                         : pattern[i] == 'd' ? isdigit(c)
                                             : c == pattern[i];
    if (!matches) return false;
  }
  return true;
}

class ConsoleEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(directory_.path().empty());
    ASSERT_TRUE(WriteFile(directory_.File("network.ini"), kNetworkIni));
    ASSERT_TRUE(WriteFile(directory_.File("system.ini"), kSystemIni));
  }

  void StartServer() {
    ServerProcess::Options options;
    options.runtimeDirectory = directory_.File("run");
    options.database = directory_.File("config.db");
    options.imports = {directory_.File("network.ini"), directory_.File("system.ini")};
    LxStatus started = server_.Start(options);
    ASSERT_TRUE(started.ok()) << started.ToString();
  }

  void StartConsole() {
    console_ = std::make_unique<ConsoleSession>(directory_.File("run"));
    LxStatus started = console_->Start();
    ASSERT_TRUE(started.ok()) << started.ToString();
  }

  // Types lines, then q, and waits for the console to end by itself.
  void RunSession(const std::vector<std::string>& lines) {
    std::vector<std::string> withQuit = lines;
    withQuit.push_back("q");
    ASSERT_TRUE(console_->Type(withQuit).ok());
    ExitStatus status;
    LxStatus ended = console_->WaitForExit(ConsoleSession::kPerLine * (withQuit.size() + 2), &status);
    ASSERT_TRUE(ended.ok()) << ended.ToString() << "\noutput so far:\n" << console_->output();
    EXPECT_TRUE(status.IsExit(0)) << status.ToString();
  }

  TemporaryDirectory directory_;
  ServerProcess server_;
  std::unique_ptr<ConsoleSession> console_;
};

TEST_F(ConsoleEndToEnd, SessionOfEveryCommandMatchesByteForByte) {
  StartServer();
  StartConsole();
  RunSession({",", "network", "network,eth0", "network,eth0,mtu", "network,eth0,mtu,9000", "network,eth0,mtu",
              "network,eth0,gateway", "nosuch", "nosuch,section", ""});

  const std::string output = console_->output();
  EXPECT_TRUE(IsBanner(output.substr(0, output.find('\n') + 1))) << output;
  EXPECT_EQ(console_->OutputAfterBanner(),
            Exchange("    Available Configuration Sets\n\n    network\n    system\n") +
                Exchange("    Available Configuration Sections for network\n\n    dns\n    eth0\n") +
                Exchange("    Available Configuration Keys and Values for network : eth0\n\n"
                         "    address    192.168.1.10\n"
                         "    dhcp       no\n"
                         "    mtu        1500\n") +
                Exchange("    Configuration Key Value for network : eth0 : mtu\n\n    1500    status = ok\n") +
                Exchange("    Set Configuration Key Value for network : eth0 : mtu\n\n    9000    status = ok\n") +
                Exchange("    Configuration Key Value for network : eth0 : mtu\n\n    9000    status = ok\n") +
                Exchange("    Configuration Key Value for network : eth0 : gateway\n\n        status = key not found\n") +
                Exchange("    Available Configuration Sections for nosuch\n\n    pfffft - nothing!\n") +
                Exchange("    Available Configuration Keys and Values for nosuch : section\n\n"
                         "    pfffft - nothing!\n") +
                // The empty line is handed on but prints nothing; q then
                // writes one newline and no further prompt follows.
                "\n: " + "\n: \n");
}

TEST_F(ConsoleEndToEnd, NearMissesOfQuitAreSectionListings) {
  StartServer();
  StartConsole();
  RunSession({"q\r", " q", "quit", "   ", ",anything,at,all"});
  const std::string nothing = "\n\n    pfffft - nothing!\n";
  EXPECT_EQ(console_->OutputAfterBanner(),
            Exchange("    Available Configuration Sections for q" + nothing) +
                Exchange("    Available Configuration Sections for q" + nothing) +
                Exchange("    Available Configuration Sections for quit" + nothing) +
                Exchange("    Available Configuration Sections for " + nothing) +
                Exchange("    Available Configuration Sets\n\n    network\n    system\n") + "\n: \n");
}

TEST_F(ConsoleEndToEnd, HelpIsFramedByOneEmptyLineBeforeAndTwoAfter) {
  StartServer();
  StartConsole();
  RunSession({"?"});
  const std::string after = console_->OutputAfterBanner();
  EXPECT_EQ(after.substr(0, 23), "\n: \nConfigurator Help\n\n");
  EXPECT_NE(after.find("or H for this help.\n\n\n: \n"), std::string::npos) << after;
}

TEST_F(ConsoleEndToEnd, QuitEndsPromptlyWithInputStillOpenAndLogsBothLines) {
  StartServer();
  StartConsole();
  ASSERT_TRUE(console_->WaitForOutput("\n: ", ConsoleSession::kPerLine).ok());
  const Clock::time_point typed = Clock::now();
  ASSERT_TRUE(console_->Type({"Q"}).ok());
  ExitStatus status;
  ASSERT_TRUE(console_->WaitForExit(ConsoleSession::kPerLine * 2, &status).ok());
  EXPECT_LT(Clock::now() - typed, std::chrono::milliseconds(3000));
  EXPECT_TRUE(status.IsExit(0)) << status.ToString();
  EXPECT_EQ(console_->OutputAfterBanner(), "\n: \n");
  const std::string& log = console_->errors();
  ASSERT_NE(log.find(kStartLine), std::string::npos) << log;
  EXPECT_LT(log.find(kStartLine), log.find(kStopLine)) << log;
  EXPECT_NE(log.find(" cfgclient: "), std::string::npos) << log;
}

TEST_F(ConsoleEndToEnd, SigTermWhileWaitingForInputStopsInOrder) {
  StartServer();
  StartConsole();
  ASSERT_TRUE(console_->WaitForOutput("\n: ", ConsoleSession::kPerLine).ok());
  const Clock::time_point signalled = Clock::now();
  ASSERT_TRUE(console_->process().Signal(SIGTERM).ok());
  ExitStatus status;
  ASSERT_TRUE(console_->WaitForExit(ConsoleSession::kPerLine * 2, &status).ok());
  EXPECT_LT(Clock::now() - signalled, std::chrono::milliseconds(2500));
  EXPECT_TRUE(status.IsExit(0)) << status.ToString();
  EXPECT_NE(console_->errors().find(kStopLine), std::string::npos) << console_->errors();
}

TEST_F(ConsoleEndToEnd, SigIntEndsWithoutTheStopLine) {
  StartServer();
  StartConsole();
  ASSERT_TRUE(console_->WaitForOutput("\n: ", ConsoleSession::kPerLine).ok());
  ASSERT_TRUE(console_->process().Signal(SIGINT).ok());
  ExitStatus status;
  ASSERT_TRUE(console_->WaitForExit(ConsoleSession::kPerLine * 2, &status).ok());
  EXPECT_TRUE(status.IsSignal(SIGINT)) << status.ToString();
  EXPECT_EQ(console_->errors().find(kStopLine), std::string::npos) << console_->errors();
}

TEST_F(ConsoleEndToEnd, EndOfInputKeepsPromptingUntilStopped) {
  StartServer();
  StartConsole();
  ASSERT_TRUE(console_->Type({"system"}).ok());
  console_->process().CloseInput();
  ASSERT_TRUE(console_->WaitForOutput("    time\n", ConsoleSession::kPerLine).ok()) << console_->output();
  // One pass per second, each handing an empty line on. The prompts reach
  // the pipe when the stream is flushed: at the latest when the process ends.
  std::this_thread::sleep_for(std::chrono::milliseconds(3500));
  ExitStatus status;
  ASSERT_FALSE(console_->process().Exited(&status)) << "end of input must not end the console";
  ASSERT_TRUE(console_->process().Signal(SIGTERM).ok());
  ASSERT_TRUE(console_->WaitForExit(ConsoleSession::kPerLine * 2, &status).ok());
  EXPECT_TRUE(status.IsExit(0)) << status.ToString();
  const std::string afterAnswer = console_->output().substr(console_->output().find("    time\n"));
  EXPECT_EQ(afterAnswer.rfind("    time\n\n\n: \n: \n: ", 0), 0u) << afterAnswer;
  EXPECT_NE(console_->errors().find(kStopLine), std::string::npos) << console_->errors();
}

TEST_F(ConsoleEndToEnd, ClientStartedBeforeItsServerWorksOnceTheServerAnswers) {
  StartConsole();
  ASSERT_TRUE(console_->Type({","}).ok());
  ASSERT_TRUE(console_->WaitForOutput("Nothing found!\n", ConsoleSession::kPerLine).ok()) << console_->output();
  StartServer();
  RunSession({","});
  const std::string after = console_->OutputAfterBanner();
  EXPECT_NE(after.find("    Available Configuration Sets\n\n    network\n    system\n"), std::string::npos) << after;
  EXPECT_NE(console_->errors().find("the server answers again"), std::string::npos) << console_->errors();
}

TEST_F(ConsoleEndToEnd, AcknowledgedWriteSurvivesKillOfTheServerAndItsRestart) {
  StartServer();
  StartConsole();
  ASSERT_TRUE(console_->Type({"system,time,zone,Europe/Zurich"}).ok());
  ASSERT_TRUE(console_->WaitForOutput("status = ok\n", ConsoleSession::kPerLine).ok()) << console_->output();
  ASSERT_TRUE(server_.Kill().ok());
  StartServer();  // imports the defaults again: they must not overwrite the write
  // The same console, across the restart.
  RunSession({"system,time,zone"});
  EXPECT_NE(console_->output().find("    Europe/Zurich    status = ok\n"), std::string::npos) << console_->output();
}

TEST_F(ConsoleEndToEnd, WriteOverTheSizeLimitIsRejectedAndChangesNothing) {
  StartServer();
  StartConsole();
  const std::string huge(20000, 'v');
  RunSession({"system,time,zone," + huge, "system,time,zone"});
  const std::string after = console_->OutputAfterBanner();
  EXPECT_NE(after.find("    " + huge + "    status = rejected\n"), std::string::npos);
  EXPECT_NE(after.find("    UTC    status = ok\n"), std::string::npos) << after.substr(after.size() - 300);
}

TEST_F(ConsoleEndToEnd, ServerGoneMidSessionGivesNoServerNotAHang) {
  StartServer();
  StartConsole();
  ASSERT_TRUE(console_->Type({","}).ok());
  ASSERT_TRUE(console_->WaitForOutput("system\n", ConsoleSession::kPerLine).ok());
  ExitStatus serverStatus;
  ASSERT_TRUE(server_.Stop(&serverStatus).ok());
  RunSession({"system,time,zone", ","});
  const std::string after = console_->OutputAfterBanner();
  EXPECT_NE(after.find("        status = no server\n"), std::string::npos) << after;
  EXPECT_NE(after.find("    Nothing found!\n"), std::string::npos) << after;
}

}  // namespace
}  // namespace quenlo_test
