#pragma once

#include <vector>

#include "cfgwire/Messages.h"

namespace qet_cfgserver {

class WatchQueue;

// Tells subscribed connections what each commit changed. The dispatcher
// makes one Publish() call right after a commit succeeds, with that
// commit's records in order; every registered queue whose scope covers a
// record gets it, in that order. Commits are published in the order they
// were made, so watchers see changes in commit order, each exactly once.
// Each record is encoded once, into a frame every queue it goes to shares.
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

  void Publish(const std::vector<wire::Record>& committed);

 private:
  std::vector<WatchQueue*> queues_;
};

// The record that tells watchers of a committed write of one value
// (kSetValue), with or without a group commit.
wire::Record ValueWritten(const wire::Request& write);

}  // namespace qet_cfgserver
