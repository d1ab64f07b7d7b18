// The line handler's own words: empty line, quit and help. Configuration
// commands are covered by CommandDispatch_test and the end-to-end tests.

#include "HandleLine.h"

#include <gtest/gtest.h>

#include "CoutCapture.h"
#include "LxCfgClientApp.h"

namespace quenlo {
namespace {

using quenlo_test::CoutCapture;

TEST(HandleLine, EmptyLineWritesNothingAndKeepsTheState) {
  CoutCapture out;
  EXPECT_EQ(HandleLine(7, ""), 7);
  EXPECT_EQ(HandleLine(-3, ""), -3);
  EXPECT_EQ(out.Text(), "");
  EXPECT_FALSE(LxCfgClientApp::Instance()->IsStopRequested());
}

TEST(HandleLine, HelpWordsPrintTheHelpFramedByANewline) {
  for (const char* word : {"?", "h", "H"}) {
    CoutCapture out;
    EXPECT_EQ(HandleLine(2, word), 2) << word;
    const std::string text = out.Text();
    EXPECT_EQ(text.rfind("\nConfigurator Help\n", 0), 0u) << word;
    EXPECT_EQ(text.substr(text.size() - 52), "Enter Q to Quit (or X to eXit) or H for this help.\n\n") << word;
  }
  EXPECT_EQ(LxCfgClientApp::Instance()->GetPrompter().GetState(), LxLinePrompter::kStatePrompting);
}

class QuitWord : public ::testing::TestWithParam<const char*> {};

TEST_P(QuitWord, StopsPrompterAndApplication) {
  LxCfgClientApp* app = LxCfgClientApp::Instance();
  CoutCapture out;
  EXPECT_EQ(HandleLine(2, GetParam()), 0);
  EXPECT_EQ(out.Text(), "\n");
  EXPECT_EQ(app->GetPrompter().GetState(), LxLinePrompter::kStateStopped);
  EXPECT_TRUE(app->IsStopRequested());
}

INSTANTIATE_TEST_SUITE_P(Words, QuitWord, ::testing::Values("q", "Q", "x", "X"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(isupper(info.param[0]) ? "Upper" : "Lower") + info.param;
                         });

}  // namespace
}  // namespace quenlo
