// Exact console bytes of the five commands and the help text.

#include "ConfigCommands.h"

#include <gtest/gtest.h>

#include "CoutCapture.h"
#include "InMemoryConfigure.h"
#include "ShowHelp.h"

namespace quenlo {
namespace {

using quenlo_test::CoutCapture;

class ConfigCommandsTest : public ::testing::Test {
 protected:
  // Runs command with std::cout captured; returns what it wrote.
  template <typename Command>
  std::string Output(Command command) {
    CoutCapture out;
    command();
    return out.Text();
  }

  quenlo_test::InMemoryConfigure client_;
};

TEST_F(ConfigCommandsTest, ListingsPrintInByteOrderOrTheirEmptyAnswer) {
  EXPECT_EQ(Output([&] { ShowCfgSets(client_); }), "    Available Configuration Sets\n\n    Nothing found!\n");
  EXPECT_EQ(Output([&] { ShowCfgSections(client_, "network"); }),
            "    Available Configuration Sections for network\n\n    pfffft - nothing!\n");
  client_.AddPair("system", "time", "zone", "UTC");
  client_.AddPair("network", "eth1", "mtu", "1500");
  client_.AddPair("Network", "eth0", "mtu", "9000");
  client_.AddPair("network", "eth0", "mtu", "9000");
  EXPECT_EQ(Output([&] { ShowCfgSets(client_); }), "    Available Configuration Sets\n\n    Network\n    network\n    system\n");
  EXPECT_EQ(Output([&] { ShowCfgSections(client_, "network"); }),
            "    Available Configuration Sections for network\n\n    eth0\n    eth1\n");
  EXPECT_EQ(client_.calls().back().tag, "CfgUtil");
}

TEST_F(ConfigCommandsTest, KeysKeepListOrderWithValuesFourSpacesPastTheLongestKey) {
  EXPECT_EQ(Output([&] { ShowCfgKeysAndValues(client_, "alpha", "beta"); }),
            "    Available Configuration Keys and Values for alpha : beta\n\n    pfffft - nothing!\n");
  client_.AddPair("alpha", "beta", "timeout", "30");
  client_.AddPair("alpha", "beta", "a", "1");
  client_.AddPair("alpha", "beta", "empty", "");
  client_.AddPair("alpha", "beta", "", "no key");
  EXPECT_EQ(Output([&] { ShowCfgKeysAndValues(client_, "alpha", "beta"); }),
            "    Available Configuration Keys and Values for alpha : beta\n\n"
            "    timeout    30\n"
            "    a          1\n"
            "    empty      \n"
            "               no key\n");
  EXPECT_EQ(client_.calls().back().tag, "CfgUtil");
}

TEST_F(ConfigCommandsTest, ValueCommandsPrintTheValueAndTheStatusLabel) {
  client_.AddPair("network", "eth0", "mtu", "1500");
  EXPECT_EQ(Output([&] { ShowCfgValue(client_, "network", "eth0", "mtu"); }),
            "    Configuration Key Value for network : eth0 : mtu\n\n    1500    status = ok\n");
  EXPECT_EQ(client_.calls().back().tag, "RMy Test");
  EXPECT_EQ(Output([&] { ShowCfgValue(client_, "network", "eth0", "speed"); }),
            "    Configuration Key Value for network : eth0 : speed\n\n        status = key not found\n");
  EXPECT_EQ(Output([&] { ChangeCfgValue(client_, "network", "eth0", "mtu", "9000"); }),
            "    Set Configuration Key Value for network : eth0 : mtu\n\n    9000    status = ok\n");
  EXPECT_EQ(client_.calls().back().tag, "My-Test");
  // The value shown is the one sent, whatever became of it.
  client_.FailValueRequestsWith(qet_cfgserver::CfgItemStatus::kNoServer);
  EXPECT_EQ(Output([&] { ChangeCfgValue(client_, "network", "eth0", "mtu", "1400"); }),
            "    Set Configuration Key Value for network : eth0 : mtu\n\n    1400    status = no server\n");
}

TEST(ShowHelpText, ThirteenLinesWithDescriptionsInColumnForty) {
  CoutCapture out;
  ShowHelp();
  std::istringstream text(out.Text());
  std::vector<std::string> lines;
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_EQ(out.Text().back(), '\n');
  EXPECT_EQ(lines[1], "Configurator Help");
  EXPECT_EQ(lines[12], "Enter Q to Quit (or X to eXit) or H for this help.");
  for (int blank : {0, 2, 4, 7, 11}) EXPECT_EQ(lines[blank], "") << "line " << blank + 1;
  for (int described : {5, 6, 8, 9, 10}) EXPECT_EQ(lines[described].find(" -"), 38u) << "line " << described + 1;
}

}  // namespace
}  // namespace quenlo
