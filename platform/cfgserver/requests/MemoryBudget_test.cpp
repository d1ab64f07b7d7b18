// The one budget of what clients make the server hold, and the parts
// charged to it: the biggest holder gives way first, a staging and a watch
// queue drop what the budget will not hold and give their bytes back.
#include "requests/MemoryBudget.h"

#include <gtest/gtest.h>

#include <memory>

#include "requests/ChangeFeed.h"
#include "requests/ImportStaging.h"
#include "requests/WatchQueue.h"

namespace qet_cfgserver {
namespace {

// A client's share as a connection holds it: bytes of its own (a reply),
// and the staging or queue it owns, all given back when the budget asks.
class Owner : public SessionOwner {
 public:
  explicit Owner(MemoryBudget* budget) : SessionOwner(budget) {}
  ~Owner() override { Refund(reply_); }

  bool HoldReply(std::size_t bytes) {
    if (!Charge(bytes)) return false;
    reply_ += bytes;
    return true;
  }
  void OnNotification() override {}
  bool TakeWatcherSlot() override { return true; }
  void GiveBack() override {
    ++gaveBack;
    Refund(reply_);
    reply_ = 0;
    if (staging != nullptr) staging->Drop();
    if (queue != nullptr) queue->DropAll();
  }

  ImportStaging* staging = nullptr;
  WatchQueue* queue = nullptr;
  int gaveBack = 0;

 private:
  std::size_t reply_ = 0;
};

std::vector<wire::Record> Entries(std::size_t count, std::size_t valueBytes) {
  std::vector<wire::Record> entries;
  for (std::size_t index = 0; index < count; ++index)
    entries.push_back(
        {wire::RecordKind::kValue, "", "s", "k" + std::to_string(index), std::string(valueBytes, 'v'), ""});
  return entries;
}

TEST(MemoryBudgetTest, TheBiggestHolderGivesWayFirst) {
  MemoryBudget budget(100);
  Owner big(&budget), middle(&budget), newcomer(&budget);
  ASSERT_TRUE(big.HoldReply(50));
  ASSERT_TRUE(middle.HoldReply(30));
  EXPECT_TRUE(newcomer.HoldReply(40));  // the 50 give way, not the 30
  EXPECT_EQ(big.gaveBack, 1);
  EXPECT_EQ(middle.gaveBack, 0);
  EXPECT_EQ(budget.used(), 70u);

  // Holding 70 with it, middle would be the biggest: it is refused, and
  // nobody smaller gives way for it.
  EXPECT_FALSE(middle.HoldReply(40));
  EXPECT_EQ(newcomer.gaveBack, 0);
  EXPECT_EQ(middle.held(), 30u);
  EXPECT_EQ(budget.used(), 70u);
}

TEST(MemoryBudgetTest, AStagingIsDroppedBeyondTheSetsBoundOrTheBudgetAndGivesItsBytesBack) {
  MemoryBudget budget(512 * 1024);
  Owner owner(&budget), other(&budget);
  {
    ImportStaging staging(&owner);
    owner.staging = &staging;
    staging.Begin("set", true);
    const std::vector<wire::Record> nul = {{wire::RecordKind::kValue, "", std::string("s\0", 2), "k", "", ""}};
    ASSERT_TRUE(staging.Add(nul).ok());
    ASSERT_TRUE(staging.Add(Entries(16, 16 * 1024)).ok());
    EXPECT_GE(owner.held(), 16u * 16 * 1024);
    const std::vector<ConfigEntry> unpacked = staging.entries();
    ASSERT_EQ(unpacked.size(), 17u);
    EXPECT_EQ(unpacked[0].section, std::string("s\0", 2));
    EXPECT_EQ(unpacked[16].value, std::string(16 * 1024, 'v'));

    // Another client's reply, not bigger, makes the staging give way.
    EXPECT_TRUE(other.HoldReply(256 * 1024));
    EXPECT_FALSE(staging.active());
    EXPECT_EQ(owner.held(), 0u);

    // A staging that would outgrow the budget is refused and dropped.
    staging.Begin("set", true);
    EXPECT_FALSE(staging.Add(Entries(16, 16 * 1024)).ok());
    EXPECT_FALSE(staging.active());
    EXPECT_EQ(owner.held(), 0u);
    staging.Begin("set", true);
    ASSERT_TRUE(staging.Add(Entries(1, 1024)).ok());
    owner.staging = nullptr;
  }
  EXPECT_EQ(owner.held(), 0u);  // destroyed mid-import

  // Past what an export may give, whatever the budget.
  ImportStaging unbounded;
  unbounded.Begin("set", false);
  const std::vector<wire::Record> piece = Entries(wire::kMaxSetBytes / wire::kMaxValueBytes / 4, wire::kMaxValueBytes);
  for (int quarter = 0; quarter < 3; ++quarter) ASSERT_TRUE(unbounded.Add(piece).ok()) << quarter;
  const LxStatus refused = unbounded.Add(piece);
  EXPECT_FALSE(refused.ok());
  EXPECT_NE(refused.message().find("larger than"), std::string::npos) << refused.message();
  EXPECT_FALSE(unbounded.active());
}

TEST(MemoryBudgetTest, AWatchQueueTheBudgetRefusesIsDroppedAndTellsHowManyItMissed) {
  MemoryBudget budget(64 * 1024);
  ChangeFeed feed;
  Owner watcher(&budget), reader(&budget);
  auto queue = std::make_unique<WatchQueue>(&feed, ConfigScope{}, &watcher);
  watcher.queue = queue.get();
  const std::vector<wire::Record> changes(40, {wire::RecordKind::kValue, "set", "s", "k", std::string(1000, 'v'), ""});
  feed.Publish(changes);
  EXPECT_GT(watcher.held(), 40u * 1000);

  // A smaller reply takes the room: the bigger queue gives way.
  ASSERT_TRUE(reader.HoldReply(30 * 1024));
  EXPECT_EQ(watcher.gaveBack, 1);
  EXPECT_EQ(watcher.held(), 0u);
  // The queue cannot grow into the room the reply holds: it is dropped
  // again as it outgrows it.
  feed.Publish(changes);
  EXPECT_EQ(reader.gaveBack, 0);
  EXPECT_LE(budget.used(), budget.limit());

  std::string frame;
  std::size_t charged = 0;
  ASSERT_TRUE(queue->Take(&frame, &charged));
  wire::FrameHeader header;
  wire::Reply notice;
  ASSERT_TRUE(wire::DecodeFrameHeader(frame.data(), &header).ok());
  ASSERT_TRUE(wire::DecodeReplyBody(header, frame.substr(wire::kFrameHeaderBytes), &notice).ok());
  EXPECT_EQ(notice.kind, wire::ReplyKind::kMissed);
  EXPECT_GT(notice.missed, 40u);
  std::uint32_t queued = 0;
  while (queue->Take(&frame, &charged)) {
    watcher.Refund(charged);  // as a connection does once it sent the frame
    ++queued;
  }
  EXPECT_GT(queued, 0u);
  EXPECT_EQ(notice.missed + queued, 2 * changes.size());
  EXPECT_EQ(watcher.held(), 0u);
  watcher.queue = nullptr;
}

}  // namespace
}  // namespace qet_cfgserver
