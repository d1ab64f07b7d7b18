#pragma once

#include <vector>

#include "store/RevisionRecords.h"

namespace qet_cfgserver {

class WatchQueue;

// Tells subscribed connections what each commit changed. The dispatcher
// (and the group commit, and the rollback of a change not confirmed) makes
// one Publish() call per revision right after its commit succeeds; every
// registered queue that wants a key of it (WatchQueue::Wants) gets it, in
// order. Revisions are published in the order they were made, so watchers
// see changes in commit order, each exactly once. Each key is encoded once
// per kind of frame, into a frame every queue of that kind shares.
//
// Does not own the queues: a WatchQueue registers itself for its lifetime.
// Reactor thread only.
class ChangeFeed {
 public:
  ChangeFeed() = default;
  ChangeFeed(const ChangeFeed&) = delete;
  ChangeFeed& operator=(const ChangeFeed&) = delete;

  void Register(WatchQueue* queue);
  void Unregister(WatchQueue* queue);

  void Publish(const CommittedRevision& revision);

 private:
  std::vector<WatchQueue*> queues_;
};

}  // namespace qet_cfgserver
