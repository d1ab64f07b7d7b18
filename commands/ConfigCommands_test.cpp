// Exact console bytes of the key listing's alignment and of the help text.
// Every command's layout against a real server is checked end to end
// (tests/e2e); the tags each command sends are checked in
// CommandDispatch_test.

#include "commands/ConfigCommands.h"

#include <gtest/gtest.h>

#include "commands/ShowHelp.h"
#include "tests/doubles/CoutCapture.h"
#include "tests/doubles/InMemoryConfigure.h"

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
