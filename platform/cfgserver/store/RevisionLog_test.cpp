#include "store/RevisionLog.h"

#include <gtest/gtest.h>

#include "store/ConfigStore.h"
#include "tests/support/TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

class RevisionLogTest : public ::testing::Test {
 protected:
  void Open(std::uint32_t limit) {
    store_.reset();
    ASSERT_TRUE(ConfigStore::Open(directory_.File("config.db"), &store_).ok());
    store_->revisions().SetLimit(limit);
  }

  std::uint64_t Write(const std::string& key, const std::string& value) {
    CommittedRevision made;
    EXPECT_TRUE(store_->SetValue("net", "eth0", key, value, ChangeNote{ChangeAuthor(), "set " + key}, &made).ok());
    return made.number;
  }

  std::uint64_t Current() {
    std::uint64_t revision = 0;
    EXPECT_TRUE(store_->revisions().Current(&revision).ok());
    return revision;
  }

  std::uint64_t OldestKept() {
    std::uint64_t revision = 0;
    EXPECT_TRUE(store_->revisions().OldestKept(&revision).ok());
    return revision;
  }

  quenlo_test::TemporaryDirectory directory_;
  std::unique_ptr<ConfigStore> store_;
};

// Numbers only grow: across reopening, while the oldest are pruned, while
// history keeps none, and when it keeps some again.
TEST_F(RevisionLogTest, NumbersOnlyGrowThroughPruningReopeningAndKeepingNone) {
  Open(3);
  EXPECT_EQ(Current(), 0u);
  EXPECT_EQ(OldestKept(), 1u);
  for (std::uint64_t expected = 1; expected <= 5; ++expected) EXPECT_EQ(Write("mtu", std::to_string(expected)), expected);
  EXPECT_EQ(OldestKept(), 3u);  // 3, 4 and 5 kept

  Open(0);
  EXPECT_EQ(Current(), 5u);
  EXPECT_EQ(Write("mtu", "6"), 6u);
  EXPECT_EQ(OldestKept(), 7u);  // none kept: the write pruned them all
  std::vector<RevisionEntry> entries;
  ASSERT_TRUE(store_->history().List(ConfigScope{}, 0, 100, &entries).ok());
  EXPECT_TRUE(entries.empty());

  Open(3);
  EXPECT_EQ(Current(), 6u);
  EXPECT_EQ(Write("mtu", "7"), 7u);
  EXPECT_EQ(OldestKept(), 7u);
  ASSERT_TRUE(store_->revisions().RaiseTo(100).ok());
  ASSERT_TRUE(store_->revisions().RaiseTo(50).ok());  // never lowers
  EXPECT_EQ(Current(), 100u);
  EXPECT_EQ(Write("mtu", "8"), 101u);
}

// A group of writes in one transaction: one revision each, in order, each
// seeing the one before it. (A group that fails makes none: GroupCommit_test.)
TEST_F(RevisionLogTest, EachWriteOfAGroupIsARevisionInItsOrder) {
  Open(RevisionLog::kDefaultLimit);
  std::vector<ConfigStore::ValueWrite> writes;
  for (const char* value : {"1", "2", "3"})
    writes.push_back(ConfigStore::ValueWrite{ConfigRow{"net", "eth0", "mtu", value}, ChangeNote{ChangeAuthor(), value}});
  std::vector<CommittedRevision> made;
  ASSERT_TRUE(store_->SetValues(writes, &made).ok());
  ASSERT_EQ(made.size(), 3u);
  for (std::size_t index = 0; index < made.size(); ++index) {
    EXPECT_EQ(made[index].number, index + 1);
    ASSERT_EQ(made[index].changes.size(), 1u);
    EXPECT_EQ(made[index].changes[0].after, std::to_string(index + 1));
    EXPECT_EQ(made[index].changes[0].before, index == 0 ? std::nullopt : std::optional<std::string>(std::to_string(index)));
  }
  EXPECT_EQ(Current(), 3u);
}

// While a change awaits confirmation, every revision after its base stays,
// even when history keeps none; confirming lets them go.
TEST_F(RevisionLogTest, AChangeAwaitingConfirmationKeepsWhatItsRollbackNeeds) {
  Open(0);
  Write("mtu", "1500");  // 1
  CommittedRevision made;
  ChangeNote confirmed{ChangeAuthor(), "set mtu", 30};
  ASSERT_TRUE(store_->SetValue("net", "eth0", "mtu", "9000", confirmed, &made).ok());  // 2, base 1
  Write("gateway", "10.0.0.1");                                                       // 3
  ASSERT_TRUE(store_->SetValue("net", "eth0", "mtu", "1400", confirmed, &made).ok());  // 4: the base stays
  std::optional<PendingConfirmation> pending;
  ASSERT_TRUE(store_->revisions().Pending(&pending).ok());
  ASSERT_TRUE(pending);
  EXPECT_EQ(std::make_pair(pending->base, pending->revision), std::make_pair(std::uint64_t{1}, std::uint64_t{4}));
  EXPECT_GE(pending->deadline, time(nullptr) + 29);
  EXPECT_EQ(OldestKept(), 2u);

  ASSERT_TRUE(store_->revisions().Confirm().ok());
  ASSERT_TRUE(store_->revisions().Pending(&pending).ok());
  EXPECT_FALSE(pending);
  EXPECT_EQ(OldestKept(), 5u);
  EXPECT_EQ(store_->revisions().Confirm().code(), LxStatus::Code::kNotFound);
  EXPECT_EQ(Write("mtu", "1500"), 5u);
}

}  // namespace
}  // namespace qet_cfgserver
