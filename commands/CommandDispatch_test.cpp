// Which command a line runs, and with what.

#include "CommandDispatch.h"

#include <gtest/gtest.h>

#include "CoutCapture.h"
#include "InMemoryConfigure.h"

namespace quenlo {
namespace {

using quenlo_test::CoutCapture;
using quenlo_test::InMemoryConfigure;

struct DispatchCase {
  const char* line;
  const char* operation;
  const char* set;
  const char* section;
  const char* key;
  const char* value;
};

class CommandDispatchTest : public ::testing::TestWithParam<DispatchCase> {};

TEST_P(CommandDispatchTest, RunsExactlyOneRequest) {
  const DispatchCase& expected = GetParam();
  InMemoryConfigure client;
  CoutCapture out;
  RunConfigCommand(client, expected.line);
  ASSERT_EQ(client.calls().size(), 1u);
  const InMemoryConfigure::Call& call = client.calls().front();
  EXPECT_EQ(call.operation, expected.operation);
  EXPECT_EQ(call.set, expected.set);
  EXPECT_EQ(call.section, expected.section);
  EXPECT_EQ(call.key, expected.key);
  EXPECT_EQ(call.value, expected.value);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandDispatchTest,
    ::testing::Values(
        DispatchCase{",", "ListSets", "", "", "", ""},
        DispatchCase{" , ", "ListSets", "", "", "", ""},
        DispatchCase{",beta,gamma,delta", "ListSets", "", "", "", ""},
        DispatchCase{"alpha", "ListSections", "alpha", "", "", ""},
        DispatchCase{"quit", "ListSections", "quit", "", "", ""},
        DispatchCase{" q", "ListSections", "q", "", "", ""},
        DispatchCase{"q ", "ListSections", "q", "", "", ""},
        DispatchCase{"q\r", "ListSections", "q", "", "", ""},
        DispatchCase{"   ", "ListSections", "", "", "", ""},
        DispatchCase{"alpha,", "ListSections", "alpha", "", "", ""},
        DispatchCase{"alpha,,gamma,delta", "ListSections", "alpha", "", "", ""},
        DispatchCase{"alpha,beta", "ListKeysAndValues", "alpha", "beta", "", ""},
        DispatchCase{"alpha,beta,,delta", "ListKeysAndValues", "alpha", "beta", "", ""},
        DispatchCase{"alpha,beta,gamma", "ReadValue", "alpha", "beta", "gamma", ""},
        DispatchCase{"alpha,beta,gamma,", "ReadValue", "alpha", "beta", "gamma", ""},
        DispatchCase{"alpha,beta,gamma,delta", "WriteValue", "alpha", "beta", "gamma", "delta"},
        DispatchCase{" alpha , beta , gamma , a, b ,c ", "WriteValue", "alpha", "beta", "gamma", "a, b ,c"}),
    [](const ::testing::TestParamInfo<DispatchCase>& info) {
      return "Line" + std::to_string(info.index) + "_" + info.param.operation;
    });

TEST(CommandDispatchOutput, BlankLineListsTheSetWithTheEmptyName) {
  InMemoryConfigure client;
  CoutCapture out;
  RunConfigCommand(client, " \t ");
  EXPECT_EQ(out.Text(), "    Available Configuration Sections for \n\n    pfffft - nothing!\n");
}

}  // namespace
}  // namespace quenlo
