// Exact console bytes of the five commands and the help text.

#include "ConfigCommands.h"

#include <gtest/gtest.h>

#include "CoutCapture.h"
#include "InMemoryConfigure.h"
#include "ShowHelp.h"

namespace quenlo {
namespace {

using quenlo_test::CoutCapture;
using quenlo_test::InMemoryConfigure;
using Status = qet_cfgserver::CfgItemStatus::Status;

class ConfigCommandsTest : public ::testing::Test {
 protected:
  InMemoryConfigure client_;
};

TEST_F(ConfigCommandsTest, ListsSetsInByteOrderOrSaysNothingFound) {
  {
    CoutCapture out;
    ShowCfgSets(client_);
    EXPECT_EQ(out.Text(), "    Available Configuration Sets\n\n    Nothing found!\n");
  }
  client_.AddPair("system", "time", "zone", "UTC");
  client_.AddPair("Network", "eth0", "mtu", "1500");
  client_.AddPair("logging", "syslog", "level", "5");
  CoutCapture out;
  ShowCfgSets(client_);
  EXPECT_EQ(out.Text(), "    Available Configuration Sets\n\n    Network\n    logging\n    system\n");
  EXPECT_EQ(client_.calls().back().tag, "CfgUtil");
}

TEST_F(ConfigCommandsTest, ListsSectionsOrSaysPfffft) {
  {
    CoutCapture out;
    ShowCfgSections(client_, "network");
    EXPECT_EQ(out.Text(), "    Available Configuration Sections for network\n\n    pfffft - nothing!\n");
  }
  client_.AddPair("network", "eth1", "mtu", "1500");
  client_.AddPair("network", "eth0", "mtu", "9000");
  CoutCapture out;
  ShowCfgSections(client_, "network");
  EXPECT_EQ(out.Text(), "    Available Configuration Sections for network\n\n    eth0\n    eth1\n");
  EXPECT_EQ(client_.calls().back().tag, "CfgUtil");
}

TEST_F(ConfigCommandsTest, AlignsValuesFourSpacesPastTheLongestKey) {
  client_.AddPair("alpha", "beta", "a", "1");
  client_.AddPair("alpha", "beta", "timeout", "30");
  client_.AddPair("alpha", "beta", "empty", "");
  CoutCapture out;
  ShowCfgKeysAndValues(client_, "alpha", "beta");
  EXPECT_EQ(out.Text(),
            "    Available Configuration Keys and Values for alpha : beta\n\n"
            "    a          1\n"
            "    timeout    30\n"
            "    empty      \n");
}

TEST_F(ConfigCommandsTest, KeysKeepListOrderAndEmptyKeyGetsFullPadding) {
  client_.AddPair("s", "t", "zeta", "last-added-first");
  client_.AddPair("s", "t", "", "no key");
  CoutCapture out;
  ShowCfgKeysAndValues(client_, "s", "t");
  EXPECT_EQ(out.Text(),
            "    Available Configuration Keys and Values for s : t\n\n"
            "    zeta    last-added-first\n"
            "            no key\n");
}

TEST_F(ConfigCommandsTest, EmptySectionSaysPfffft) {
  CoutCapture out;
  ShowCfgKeysAndValues(client_, "alpha", "beta");
  EXPECT_EQ(out.Text(), "    Available Configuration Keys and Values for alpha : beta\n\n    pfffft - nothing!\n");
}

TEST_F(ConfigCommandsTest, ReadsValueWithItsStatusLabel) {
  client_.AddPair("network", "eth0", "mtu", "1500");
  {
    CoutCapture out;
    ShowCfgValue(client_, "network", "eth0", "mtu");
    EXPECT_EQ(out.Text(), "    Configuration Key Value for network : eth0 : mtu\n\n    1500    status = ok\n");
  }
  EXPECT_EQ(client_.calls().back().tag, "RMy Test");
  CoutCapture out;
  ShowCfgValue(client_, "network", "eth0", "speed");
  EXPECT_EQ(out.Text(), "    Configuration Key Value for network : eth0 : speed\n\n        status = key not found\n");
}

TEST_F(ConfigCommandsTest, WritePrintsTheValueSentWhateverTheStatus) {
  {
    CoutCapture out;
    ChangeCfgValue(client_, "network", "eth0", "mtu", "9000");
    EXPECT_EQ(out.Text(), "    Set Configuration Key Value for network : eth0 : mtu\n\n    9000    status = ok\n");
  }
  EXPECT_EQ(client_.calls().back().operation, "WriteValue");
  EXPECT_EQ(client_.calls().back().tag, "My-Test");
  client_.FailValueRequestsWith(qet_cfgserver::CfgItemStatus::kNoServer);
  CoutCapture out;
  ChangeCfgValue(client_, "network", "eth0", "mtu", "1400");
  EXPECT_EQ(out.Text(), "    Set Configuration Key Value for network : eth0 : mtu\n\n    1400    status = no server\n");
}

TEST(StatusLabels, EveryStatusHasItsOwnLabel) {
  std::set<std::string> labels;
  for (Status status : {qet_cfgserver::CfgItemStatus::kSuccess, qet_cfgserver::CfgItemStatus::kKeyNotFound,
                        qet_cfgserver::CfgItemStatus::kNoServer, qet_cfgserver::CfgItemStatus::kTimeout,
                        qet_cfgserver::CfgItemStatus::kRejected, qet_cfgserver::CfgItemStatus::kServerError})
    labels.insert(qet_cfgserver::CfgItemStatus::LxCfgItemStatus::GetLabel(status));
  EXPECT_EQ(labels.size(), 6u);
  EXPECT_STREQ(qet_cfgserver::CfgItemStatus::LxCfgItemStatus::GetLabel(static_cast<Status>(99)), "unknown status");
}

TEST(ShowHelpText, ThirteenLinesWithDescriptionsInColumnForty) {
  CoutCapture out;
  ShowHelp();
  const std::string text = out.Text();
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  for (std::string::size_type end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  ASSERT_EQ(start, text.size()) << "the help text must end with a newline";
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_EQ(lines[1], "Configurator Help");
  EXPECT_EQ(lines[3], "When prompted for input please enter 1 to 4 comma-separated items");
  EXPECT_EQ(lines[12], "Enter Q to Quit (or X to eXit) or H for this help.");
  for (int blank : {0, 2, 4, 7, 11}) EXPECT_EQ(lines[blank], "") << "line " << blank + 1;
  for (int described : {5, 6, 8, 9, 10}) {
    EXPECT_EQ(lines[described].find(" -"), 38u) << "line " << described + 1;
    EXPECT_EQ(lines[described][39], '-') << "line " << described + 1;
  }
  EXPECT_EQ(lines[5], "<cfgset>,<cfgsection>,<cfgkey>,<value> -set the value");
  EXPECT_EQ(lines[10], ",                                      -get a list of all sets enter a comma");
}

}  // namespace
}  // namespace quenlo
