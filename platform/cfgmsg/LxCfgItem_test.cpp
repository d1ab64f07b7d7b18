// The line splitter and the blank trimmer.

#include "LxCfgItem.h"

#include <gtest/gtest.h>

#include "LxCfgUtil.h"

namespace qet_cfgserver {
namespace {

struct Split {
  int items;
  std::string set, section, key, value;
};

Split SplitLine(const std::string& line) {
  Split split;
  split.set = split.section = split.key = split.value = "stale";
  split.items = LxCfgItem::IdentifyCiArgs(line, split.set, split.section, split.key, split.value);
  return split;
}

TEST(IdentifyCiArgs, FillsItemsInOrderAndLeavesAbsentOnesEmpty) {
  Split split = SplitLine("alpha");
  EXPECT_EQ(split.items, 1);
  EXPECT_EQ(split.set, "alpha");
  EXPECT_EQ(split.section + split.key + split.value, "");

  split = SplitLine("alpha,beta,gamma");
  EXPECT_EQ(split.items, 3);
  EXPECT_EQ(split.set + "|" + split.section + "|" + split.key + "|" + split.value, "alpha|beta|gamma|");
}

TEST(IdentifyCiArgs, ValueRunsToTheEndOfTheLineCommasIncluded) {
  Split split = SplitLine("net,dns,servers,10.0.0.1, 10.0.0.2");
  EXPECT_EQ(split.items, 4);
  EXPECT_EQ(split.value, "10.0.0.1, 10.0.0.2");
}

TEST(IdentifyCiArgs, TrimsBlanksAroundEachItemButNotInside) {
  Split split = SplitLine("  my set ,\tsec tion\t,  key  ,  a value  \r");
  EXPECT_EQ(split.set, "my set");
  EXPECT_EQ(split.section, "sec tion");
  EXPECT_EQ(split.key, "key");
  EXPECT_EQ(split.value, "a value");
}

TEST(IdentifyCiArgs, EmptyItemsBetweenCommasStayEmpty) {
  Split split = SplitLine(",,gamma,");
  EXPECT_EQ(split.items, 4);
  EXPECT_EQ(split.set, "");
  EXPECT_EQ(split.section, "");
  EXPECT_EQ(split.key, "gamma");
  EXPECT_EQ(split.value, "");

  split = SplitLine("");
  EXPECT_EQ(split.items, 1);
  EXPECT_EQ(split.set + split.section + split.key + split.value, "");
}

TEST(TrimSpaces, RemovesOnlySurroundingBlanks) {
  std::string text = " \t\r\n a  b \v\f";
  LxCfgUtil::TrimSpaces(text);
  EXPECT_EQ(text, "a  b");
  text = " \t ";
  LxCfgUtil::TrimSpaces(text);
  EXPECT_EQ(text, "");
  text = "x";
  LxCfgUtil::TrimSpaces(text);
  EXPECT_EQ(text, "x");
}

}  // namespace
}  // namespace qet_cfgserver
