#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "access/PeerCredentials.h"
#include "cfgwire/Messages.h"
#include "common/LxStatus.h"
#include "recovery/StoreKeeper.h"
#include "requests/ChangeFeed.h"
#include "requests/CommitWaiter.h"

namespace qet_cfgserver {

// Writes that arrive together from different clients share one transaction
// and one sync.
//
// The reactor thread hands every write that passed the request limits to
// Add(), with the waiter for its answer, and calls Flush() once no more
// input is ready or the group is full(). Flush() writes the whole group
// with one ConfigStore::SetValues (one transaction, in arrival order, a
// later write of the same key winning, each write a revision of its own in
// the order the writes are answered), then answers every waiter of the
// group in arrival order, each in the protocol version of its request:
// kSuccess only after the commit; kServerError to each of them when the
// commit failed, which keeps none of the group. A committed group is
// logged (a line per write, all written at once) and published to the feed
// (when there is one), in arrival order, before its writers are answered.
// A commit that meets a damaged database has the keeper recover it and the
// group is written once more on the rebuilt store (RunRecoveringOnce), as
// for a single request.
//
// Nothing of a group touches the database before Flush(), so a read served
// while writes wait sees only committed, durable data; so does a snapshot.
// A waiter that withdraws (its connection closed) is not answered; its
// write may still be committed.
//
// Bounds: a group holds at most kMaxWrites writes; each client has at most
// one write waiting (its connection answers nothing else meanwhile).
//
// Does not own the keeper, the feed or the waiters. Not thread-safe: the reactor
// thread calls it.
class GroupCommit {
 public:
  static constexpr std::size_t kMaxWrites = 128;

  explicit GroupCommit(StoreKeeper* keeper, ChangeFeed* feed = nullptr) : keeper_(keeper), feed_(feed) {}

  GroupCommit(const GroupCommit&) = delete;
  GroupCommit& operator=(const GroupCommit&) = delete;

  // Queues write (a kSetValue within the limits from peer, received in
  // protocol version) for the next Flush().
  void Add(const wire::Request& write, const PeerCredentials& peer, std::uint8_t version, CommitWaiter* waiter);

  // waiter will not be answered; call before it goes away.
  void Withdraw(CommitWaiter* waiter);

  bool pending() const { return !group_.empty(); }
  bool full() const { return group_.size() >= kMaxWrites; }

  // Commits the writes queued so far and answers their waiters. Writes
  // added while answering (a waiter's next request) wait for the next call.
  void Flush();

 private:
  struct Write {
    wire::Request request;
    PeerCredentials peer;  // for the log line
    std::uint8_t version;
    CommitWaiter* waiter;
  };

  // Writes the group, recovering a damaged database once.
  LxStatus Commit(const std::vector<Write>& writes);
  // The one place where a group's outcome is known and its waiters learn it.
  void AnswerAll(const LxStatus& outcome);
  // Logs the committed group and tells the feed.
  void Publish();

  StoreKeeper* keeper_;
  ChangeFeed* feed_;
  std::vector<Write> group_;      // the open group
  std::vector<Write> answering_;  // the group whose waiters are being answered
  std::vector<CommittedRevision> committed_;  // its revisions, one per write, once committed
};

}  // namespace qet_cfgserver
