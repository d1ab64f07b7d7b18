// The line handler's own words: empty line, help and quit. Configuration
// commands are covered by CommandDispatch_test and the end-to-end tests.

#include "commands/HandleLine.h"

#include <gtest/gtest.h>

#include "app/LxCfgClientApp.h"
#include "tests/doubles/CoutCapture.h"

namespace quenlo {
namespace {

TEST(HandleLine, EmptyLineAndHelpKeepThePrompterRunning) {
  quenlo_test::CoutCapture out;
  EXPECT_EQ(HandleLine(7, ""), 7);
  EXPECT_EQ(HandleLine(-3, ""), -3);
  EXPECT_EQ(out.Text(), "");
  for (const char* word : {"?", "h", "H"}) EXPECT_EQ(HandleLine(2, word), 2) << word;
  const std::string help = "\nConfigurator Help\n";
  EXPECT_EQ(out.Text().substr(0, help.size()), help);
  EXPECT_EQ(out.Text().substr(out.Text().size() - 4), "p.\n\n") << "help, then the handler's newline";
  EXPECT_FALSE(LxCfgClientApp::Instance()->IsStopRequested());
}

TEST(HandleLine, QuitWordsStopPrompterAndApplication) {
  LxCfgClientApp* app = LxCfgClientApp::Instance();
  for (const char* word : {"q", "Q", "x", "X"}) {
    app->GetPrompter().SetState(LxLinePrompter::kStatePrompting);
    quenlo_test::CoutCapture out;
    EXPECT_EQ(HandleLine(2, word), 0) << word;
    EXPECT_EQ(out.Text(), "\n") << word;
    EXPECT_EQ(app->GetPrompter().GetState(), LxLinePrompter::kStateStopped) << word;
  }
  EXPECT_TRUE(app->IsStopRequested());
}

}  // namespace
}  // namespace quenlo
