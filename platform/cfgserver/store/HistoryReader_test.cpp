#include "store/HistoryReader.h"

#include <gtest/gtest.h>

#include "store/ConfigStore.h"
#include "tests/support/TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

// "set/section/key before>after" ("-": absent).
std::vector<std::string> Lines(const std::vector<KeyChange>& changes) {
  std::vector<std::string> lines;
  for (const KeyChange& change : changes)
    lines.push_back(change.set + "/" + change.section + "/" + change.key + " " + change.before.value_or("-") + ">" +
                    change.after.value_or("-"));
  return lines;
}

std::vector<std::uint64_t> Numbers(const std::vector<RevisionEntry>& entries) {
  std::vector<std::uint64_t> numbers;
  for (const RevisionEntry& entry : entries) numbers.push_back(entry.number);
  return numbers;
}

// Four revisions by two authors over two sets:
//   1 net/eth0/mtu ->1500   2 net/eth0/mtu 1500>9000   3 sys/ui/lang ->de
//   4 delete net/eth0: mtu 9000>-
class HistoryReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ConfigStore::Open(directory_.File("config.db"), &store_).ok());
    alice_.author = ChangeAuthor{1000, "alice", 42, "cfgctl", "cfgctl", "nightly"};
    alice_.summary = "set net eth0 mtu";
    CommittedRevision made;
    ASSERT_TRUE(store_->SetValue("net", "eth0", "mtu", "1500", alice_, &made).ok());
    ASSERT_TRUE(store_->SetValue("net", "eth0", "mtu", "9000", alice_, &made).ok());
    ASSERT_TRUE(store_->SetValue("sys", "ui", "lang", "de", ChangeNote{ChangeAuthor(), "set sys ui lang"}, &made).ok());
    ASSERT_TRUE(store_->layers()
                    .DeleteScope({ConfigScope::Level::kSection, "net", "eth0", ""},
                                 ChangeNote{ChangeAuthor(), "delete net eth0"}, &made)
                    .ok());
  }

  std::vector<std::uint64_t> List(const ConfigScope& scope, std::uint32_t limit, std::uint64_t before = 0) {
    std::vector<RevisionEntry> entries;
    EXPECT_TRUE(store_->history().List(scope, before, limit, &entries).ok());
    return Numbers(entries);
  }

  std::vector<std::string> Differences(std::uint64_t from, std::uint64_t to, const ConfigScope& scope = {}) {
    std::vector<KeyChange> changes;
    const LxStatus status = store_->history().Differences(from, to, scope, &changes);
    EXPECT_TRUE(status.ok()) << status.ToString();
    return Lines(changes);
  }

  quenlo_test::TemporaryDirectory directory_;
  std::unique_ptr<ConfigStore> store_;
  ChangeNote alice_;
};

TEST_F(HistoryReaderTest, ListsTheNewestRevisionsWithinAScopeFirst) {
  EXPECT_EQ(List({}, 100), (std::vector<std::uint64_t>{4, 3, 2, 1}));
  EXPECT_EQ(List({}, 2), (std::vector<std::uint64_t>{4, 3}));
  EXPECT_EQ(List({}, 2, 3), (std::vector<std::uint64_t>{2, 1}));  // the next page
  EXPECT_EQ(List({ConfigScope::Level::kKey, "net", "eth0", "mtu"}, 100), (std::vector<std::uint64_t>{4, 2, 1}));
  EXPECT_EQ(List({ConfigScope::Level::kSet, "sys", "", ""}, 100), (std::vector<std::uint64_t>{3}));
  EXPECT_TRUE(List({ConfigScope::Level::kSection, "net", "wlan", ""}, 100).empty());
  std::vector<RevisionEntry> entries;
  EXPECT_EQ(store_->history().List({static_cast<ConfigScope::Level>(7), "", "", ""}, 0, 1, &entries).code(),
            LxStatus::Code::kInvalidArgument);
}

TEST_F(HistoryReaderTest, ShowsARevisionWithItsAuthorAndEachKeyBeforeAndAfter) {
  RevisionEntry entry;
  std::vector<KeyChange> changes;
  ASSERT_TRUE(store_->history().Show(2, &entry, &changes).ok());
  EXPECT_EQ(entry.number, 2u);
  EXPECT_EQ(entry.keys, 1u);
  EXPECT_GT(entry.time, 0);
  EXPECT_EQ(entry.summary, "set net eth0 mtu");
  EXPECT_EQ(std::tie(entry.author.uid, entry.author.userName, entry.author.pid, entry.author.program,
                     entry.author.client, entry.author.tag),
            std::tie(alice_.author.uid, alice_.author.userName, alice_.author.pid, alice_.author.program,
                     alice_.author.client, alice_.author.tag));
  EXPECT_EQ(Lines(changes), (std::vector<std::string>{"net/eth0/mtu 1500>9000"}));
  // Unknown authors come back unknown.
  ASSERT_TRUE(store_->history().Show(3, &entry, &(changes = {})).ok());
  EXPECT_EQ(entry.author.uid, ChangeAuthor::kUnknownUser);
  EXPECT_EQ(entry.author.pid, ChangeAuthor::kUnknownProcess);
  EXPECT_EQ(store_->history().Show(5, &entry, &changes).code(), LxStatus::Code::kNotFound);
}

TEST_F(HistoryReaderTest, DifferencesFoldTheRevisionsBetweenTwoInEitherOrder) {
  EXPECT_EQ(Differences(1, 4), (std::vector<std::string>{"net/eth0/mtu 1500>-", "sys/ui/lang ->de"}));
  EXPECT_EQ(Differences(4, 1), (std::vector<std::string>{"net/eth0/mtu ->1500", "sys/ui/lang de>-"}));
  EXPECT_EQ(Differences(0, 2), (std::vector<std::string>{"net/eth0/mtu ->9000"}));
  EXPECT_EQ(Differences(0, 4), (std::vector<std::string>{"sys/ui/lang ->de"}));  // mtu came and went
  EXPECT_EQ(Differences(0, 4, {ConfigScope::Level::kSet, "net", "", ""}), std::vector<std::string>{});
  EXPECT_TRUE(Differences(3, 3).empty());
  std::vector<KeyChange> changes;
  EXPECT_EQ(store_->history().Differences(1, 5, {}, &changes).code(), LxStatus::Code::kInvalidArgument);
}

// What a watch that resumes reads: revision after revision, from the first
// kept one on.
TEST_F(HistoryReaderTest, NextFromGivesTheFirstKeptRevisionFromOneOn) {
  std::uint64_t number = 0;
  std::vector<KeyChange> changes;
  ASSERT_TRUE(store_->history().NextFrom(3, &number, &changes).ok());
  EXPECT_EQ(number, 3u);
  EXPECT_EQ(Lines(changes), (std::vector<std::string>{"sys/ui/lang ->de"}));
  EXPECT_EQ(store_->history().NextFrom(5, &number, &changes).code(), LxStatus::Code::kNotFound);
  store_->revisions().SetLimit(2);  // keeps 3 and 4
  ASSERT_TRUE(store_->history().NextFrom(1, &number, &(changes = {})).ok());
  EXPECT_EQ(number, 3u);
}

TEST_F(HistoryReaderTest, RevisionsBeforeTheOldestKeptAreNoLongerKnown) {
  store_->revisions().SetLimit(2);
  CommittedRevision made;
  ASSERT_TRUE(store_->SetValue("sys", "ui", "lang", "fr", alice_, &made).ok());  // 5; keeps 4 and 5
  std::vector<KeyChange> changes;
  const LxStatus pruned = store_->history().Differences(2, 5, {}, &changes);
  EXPECT_EQ(pruned.code(), LxStatus::Code::kNotFound);
  EXPECT_EQ(pruned.message(), "revision 2 is no longer kept (the oldest kept is 4)");
  EXPECT_EQ(Differences(3, 5), (std::vector<std::string>{"net/eth0/mtu 9000>-", "sys/ui/lang de>fr"}));
  RevisionEntry entry;
  EXPECT_EQ(store_->history().Show(3, &entry, &changes).code(), LxStatus::Code::kNotFound);
  EXPECT_EQ(List({}, 100), (std::vector<std::uint64_t>{5, 4}));
}

}  // namespace
}  // namespace qet_cfgserver
