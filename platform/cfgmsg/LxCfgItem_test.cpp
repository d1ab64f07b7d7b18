// The line splitter and the blank trimmer.

#include "LxCfgItem.h"

#include <gtest/gtest.h>

#include "LxCfgUtil.h"

namespace qet_cfgserver {
namespace {

TEST(IdentifyCiArgs, SplitsTrimsAndLetsTheValueRunToTheEnd) {
  const struct {
    const char* line;
    int items;
    const char* joined;  // set|section|key|value
  } cases[] = {
      {"alpha", 1, "alpha|||"},
      {"alpha,beta,gamma", 3, "alpha|beta|gamma|"},
      {"net,dns,servers,10.0.0.1, 10.0.0.2", 4, "net|dns|servers|10.0.0.1, 10.0.0.2"},
      {"  my set ,\tsec tion\t,  key  ,  a value  \r", 4, "my set|sec tion|key|a value"},
      {",,gamma,", 4, "||gamma|"},
      {"", 1, "|||"},
  };
  for (const auto& expected : cases) {
    std::string set = "stale", section = "stale", key = "stale", value = "stale";
    EXPECT_EQ(LxCfgItem::IdentifyCiArgs(expected.line, set, section, key, value), expected.items) << expected.line;
    EXPECT_EQ(set + "|" + section + "|" + key + "|" + value, expected.joined) << expected.line;
  }
}

TEST(TrimSpaces, RemovesOnlySurroundingBlanks) {
  for (auto [text, trimmed] : {std::pair<std::string, std::string>{" \t\r\n a  b \v\f", "a  b"}, {" \t ", ""}, {"x", "x"}}) {
    LxCfgUtil::TrimSpaces(text);
    EXPECT_EQ(text, trimmed);
  }
}

}  // namespace
}  // namespace qet_cfgserver
