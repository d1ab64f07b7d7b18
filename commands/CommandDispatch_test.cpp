// Which command a line runs, and with what: the dispatch table, and through
// it the splitter's rules (blanks trimmed around items, empty items between
// commas, a value that runs to the end of the line).

#include "commands/CommandDispatch.h"

#include <gtest/gtest.h>

#include "tests/doubles/CoutCapture.h"
#include "tests/doubles/InMemoryConfigure.h"

namespace quenlo {
namespace {

TEST(RunConfigCommand, RunsExactlyOneRequestChosenByTheFilledItems) {
  const struct {
    const char* line;
    const char* call;  // operation:set|section|key|value tag
  } cases[] = {
      {",", "ListSets:||| CfgUtil"},
      {" , ", "ListSets:||| CfgUtil"},
      {",beta,gamma,delta", "ListSets:||| CfgUtil"},
      {"alpha", "ListSections:alpha||| CfgUtil"},
      {" q", "ListSections:q||| CfgUtil"},
      {"q\r", "ListSections:q||| CfgUtil"},
      {"quit", "ListSections:quit||| CfgUtil"},
      {"   ", "ListSections:||| CfgUtil"},
      {"alpha,,gamma,delta", "ListSections:alpha||| CfgUtil"},
      {"alpha,beta", "ListKeysAndValues:alpha|beta|| CfgUtil"},
      {"\talpha\t,\r beta \v\f", "ListKeysAndValues:alpha|beta|| CfgUtil"},
      {"alpha,beta,,delta", "ListKeysAndValues:alpha|beta|| CfgUtil"},
      {"alpha,beta,gamma,", "ReadValue:alpha|beta|gamma| RMy Test"},
      {"alpha,beta,gamma,delta", "WriteValue:alpha|beta|gamma|delta My-Test"},
      {" alpha , beta , gamma , a, b ,c ", "WriteValue:alpha|beta|gamma|a, b ,c My-Test"},
  };
  for (const auto& expected : cases) {
    quenlo_test::InMemoryConfigure client;
    quenlo_test::CoutCapture out;
    RunConfigCommand(client, expected.line);
    ASSERT_EQ(client.calls().size(), 1u) << expected.line;
    const auto& call = client.calls().front();
    EXPECT_EQ(call.operation + ":" + call.set + "|" + call.section + "|" + call.key + "|" + call.value + " " + call.tag,
              expected.call)
        << "line '" << expected.line << "'";
  }
}

}  // namespace
}  // namespace quenlo
