#include "requests/MemoryBudget.h"

#include <gtest/gtest.h>

#include "tests/doubles/BudgetedSessionOwner.h"

namespace qet_cfgserver {
namespace {

using Owner = quenlo_test::BudgetedSessionOwner;

// A charge that does not fit has the biggest other holder give back, as
// long as it holds at least what the charging one would; otherwise the
// charge fails and nobody smaller gives way.
TEST(MemoryBudgetTest, TheBiggestHolderGivesWayFirst) {
  MemoryBudget budget(100);
  Owner big(&budget), middle(&budget), newcomer(&budget);
  ASSERT_TRUE(big.HoldReply(50));
  ASSERT_TRUE(middle.HoldReply(30));
  EXPECT_TRUE(newcomer.HoldReply(40));  // the 50 give way, not the 30
  EXPECT_EQ(big.gaveBack, 1);
  EXPECT_EQ(middle.gaveBack, 0);
  EXPECT_EQ(budget.used(), 70u);

  // Holding 70 with it, middle would be the biggest.
  EXPECT_FALSE(middle.HoldReply(40));
  EXPECT_EQ(newcomer.gaveBack, 0);
  EXPECT_EQ(middle.held(), 30u);
  EXPECT_EQ(budget.used(), 70u);
}

}  // namespace
}  // namespace qet_cfgserver
