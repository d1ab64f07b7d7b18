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

// A revision that writes keys values of 1000 bytes.
CommittedRevision Revision(std::uint64_t number, std::size_t keys) {
  CommittedRevision revision{number, {}};
  for (std::size_t index = 0; index < keys; ++index)
    revision.changes.push_back(KeyChange{"set", "s", "k" + std::to_string(index), std::nullopt, std::string(1000, 'v')});
  return revision;
}

// Takes every frame, refunding each as a connection does once it is sent.
std::vector<wire::Reply> TakeAll(WatchQueue* queue, quenlo_test::BudgetedSessionOwner* watcher) {
  std::vector<wire::Reply> taken;
  std::string frame;
  std::size_t charged = 0;
  while (queue->Take(&frame, &charged)) {
    taken.push_back(Decoded(frame));
    watcher->Refund(charged);
  }
  return taken;
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
  const CommittedRevision changes = Revision(1, 40);
  feed.Publish(changes);
  EXPECT_GT(watcher.held(), 40u * 1000);

  ASSERT_TRUE(reader.HoldReply(30 * 1024));
  EXPECT_EQ(watcher.gaveBack, 1);
  EXPECT_EQ(watcher.held(), 0u);
  feed.Publish(changes);
  EXPECT_EQ(reader.gaveBack, 0);
  EXPECT_LE(budget.used(), budget.limit());

  const std::vector<wire::Reply> taken = TakeAll(queue.get(), &watcher);
  ASSERT_GT(taken.size(), 1u);
  EXPECT_EQ(taken.front().kind, wire::ReplyKind::kMissed);
  EXPECT_GT(taken.front().missed, 40u);
  for (std::size_t index = 1; index < taken.size(); ++index)
    EXPECT_EQ(taken[index].kind, wire::ReplyKind::kNotification);
  EXPECT_EQ(taken.front().missed + taken.size() - 1, 2 * changes.changes.size());
  EXPECT_EQ(watcher.held(), 0u);
  watcher.queue = nullptr;
}

// A watch that resumes reads its backlog from history into the queue,
// charged like live notifications; when the budget takes it back it is
// told how many revisions it missed, and goes on with the live changes.
TEST(WatchQueueTest, AResumingWatchChargesItsBacklogAndCountsWhatTheBudgetTookInRevisions) {
  MemoryBudget budget(160 * 1024);
  ChangeFeed feed;
  quenlo_test::BudgetedSessionOwner watcher(&budget), reader(&budget);
  const std::vector<CommittedRevision> kept = {Revision(1, 40), Revision(2, 40), Revision(3, 40)};
  WatchQueue::History history = [&kept](std::uint64_t from, std::uint64_t* number, std::vector<KeyChange>* changes,
                                        std::uint64_t* current) {
    *current = kept.back().number;
    if (from < 1 || from > kept.size()) return LxStatus::NotFound("none kept");
    *number = from;
    *changes = kept[from - 1].changes;
    return LxStatus::Ok();
  };
  auto queue = std::make_unique<WatchQueue>(&feed, ConfigScope{}, nullptr, &watcher, history, 0);
  watcher.queue = queue.get();
  EXPECT_FALSE(queue->empty());
  EXPECT_EQ(watcher.held(), 0u);  // nothing read before the connection asks

  std::string frame;
  std::size_t charged = 0;
  ASSERT_TRUE(queue->Take(&frame, &charged));
  const wire::Reply first = Decoded(frame);
  EXPECT_EQ(first.kind, wire::ReplyKind::kChange);
  EXPECT_EQ(first.revision, 1u);
  watcher.Refund(charged);
  EXPECT_GT(watcher.held(), 100u * 1000);  // the rest of the backlog, charged

  ASSERT_TRUE(reader.HoldReply(40 * 1024));
  EXPECT_EQ(watcher.gaveBack, 1);
  EXPECT_EQ(watcher.held(), 0u);
  feed.Publish(Revision(4, 2));

  const std::vector<wire::Reply> taken = TakeAll(queue.get(), &watcher);
  ASSERT_EQ(taken.size(), 3u);
  EXPECT_EQ(taken[0].kind, wire::ReplyKind::kMissed);
  EXPECT_EQ(taken[0].missed, 3u);  // revisions 1 (in part), 2 and 3
  for (std::size_t index = 1; index < taken.size(); ++index) {
    EXPECT_EQ(taken[index].kind, wire::ReplyKind::kChange);
    EXPECT_EQ(taken[index].revision, 4u);
  }
  EXPECT_EQ(watcher.held(), 0u);
  watcher.queue = nullptr;
}

}  // namespace
}  // namespace qet_cfgserver
