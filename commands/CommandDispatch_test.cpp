// Which command a line runs, and with what.

#include "CommandDispatch.h"

#include <gtest/gtest.h>

#include "CoutCapture.h"
#include "InMemoryConfigure.h"

namespace quenlo {
namespace {

TEST(RunConfigCommand, RunsExactlyOneRequestChosenByTheFilledItems) {
  const struct {
    const char* line;
    const char* call;  // operation:set|section|key|value
  } cases[] = {
      {",", "ListSets:|||"},
      {" , ", "ListSets:|||"},
      {",beta,gamma,delta", "ListSets:|||"},
      {"alpha", "ListSections:alpha|||"},
      {" q", "ListSections:q|||"},
      {"q\r", "ListSections:q|||"},
      {"quit", "ListSections:quit|||"},
      {"   ", "ListSections:|||"},
      {"alpha,,gamma,delta", "ListSections:alpha|||"},
      {"alpha,beta", "ListKeysAndValues:alpha|beta||"},
      {"alpha,beta,,delta", "ListKeysAndValues:alpha|beta||"},
      {"alpha,beta,gamma,", "ReadValue:alpha|beta|gamma|"},
      {"alpha,beta,gamma,delta", "WriteValue:alpha|beta|gamma|delta"},
      {" alpha , beta , gamma , a, b ,c ", "WriteValue:alpha|beta|gamma|a, b ,c"},
  };
  for (const auto& expected : cases) {
    quenlo_test::InMemoryConfigure client;
    quenlo_test::CoutCapture out;
    RunConfigCommand(client, expected.line);
    ASSERT_EQ(client.calls().size(), 1u) << expected.line;
    const auto& call = client.calls().front();
    EXPECT_EQ(call.operation + ":" + call.set + "|" + call.section + "|" + call.key + "|" + call.value, expected.call)
        << "line '" << expected.line << "'";
  }
}

}  // namespace
}  // namespace quenlo
