#include "requests/WatchQueue.h"

#include <gtest/gtest.h>

#include <memory>

#include "requests/MemoryBudget.h"
#include "tests/doubles/BudgetedSessionOwner.h"

namespace qet_cfgserver {
namespace {

wire::Reply Decoded(const std::string& frame) {
  wire::FrameHeader header;
  wire::Reply reply;
  EXPECT_TRUE(wire::DecodeFrameHeader(frame.data(), &header).ok());
  EXPECT_TRUE(wire::DecodeReplyBody(header, frame.substr(wire::kFrameHeaderBytes), &reply).ok());
  return reply;
}

// Queued notifications are charged to the watcher's share of the budget. A
// smaller reply elsewhere makes the queue give way; the queue cannot grow
// into the room others hold, and is dropped instead. Either way the
// watcher is told how many it missed, then gets what came after, and
// nothing is lost from the count.
TEST(WatchQueueTest, AQueueTheBudgetRefusesIsDroppedAndTellsHowManyItMissed) {
  MemoryBudget budget(64 * 1024);
  ChangeFeed feed;
  quenlo_test::BudgetedSessionOwner watcher(&budget), reader(&budget);
  auto queue = std::make_unique<WatchQueue>(&feed, ConfigScope{}, nullptr, &watcher);
  watcher.queue = queue.get();
  const std::vector<wire::Record> changes(40, {wire::RecordKind::kValue, "set", "s", "k", std::string(1000, 'v'), ""});
  feed.Publish(changes);
  EXPECT_GT(watcher.held(), 40u * 1000);

  ASSERT_TRUE(reader.HoldReply(30 * 1024));
  EXPECT_EQ(watcher.gaveBack, 1);
  EXPECT_EQ(watcher.held(), 0u);
  feed.Publish(changes);
  EXPECT_EQ(reader.gaveBack, 0);
  EXPECT_LE(budget.used(), budget.limit());

  std::string frame;
  std::size_t charged = 0;
  ASSERT_TRUE(queue->Take(&frame, &charged));
  const wire::Reply notice = Decoded(frame);
  EXPECT_EQ(notice.kind, wire::ReplyKind::kMissed);
  EXPECT_GT(notice.missed, 40u);
  std::uint32_t queued = 0;
  while (queue->Take(&frame, &charged)) {
    EXPECT_EQ(Decoded(frame).kind, wire::ReplyKind::kNotification);
    watcher.Refund(charged);  // as a connection does once the frame is sent
    ++queued;
  }
  EXPECT_GT(queued, 0u);
  EXPECT_EQ(notice.missed + queued, 2 * changes.size());
  EXPECT_EQ(watcher.held(), 0u);
  watcher.queue = nullptr;
}

}  // namespace
}  // namespace qet_cfgserver
