#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "access/PeerCredentials.h"
#include "common/LxStatus.h"
#include "requests/ChangeFeed.h"
#include "requests/ImportStaging.h"
#include "requests/SessionOwner.h"
#include "requests/WatchQueue.h"

namespace qet_cfgserver {

// What the server keeps for one connection beyond its bytes: who is at its
// other end, an import under way and, once subscribed, its notification
// queue, the last two charged to the owner's share of the memory budget.
// The dispatcher acts on it; the connection owns it, sets the peer when
// accepted and sends what the queue holds. Reactor thread only.
class ClientSession {
 public:
  // owner may be null (unit tests, the fuzzer): nothing is charged, no
  // watcher limit applies and nobody is told of notifications.
  explicit ClientSession(SessionOwner* owner) : owner_(owner), staging_(owner) {}

  ImportStaging& staging() { return staging_; }

  const PeerCredentials& peer() const { return peer_; }
  void SetPeer(const PeerCredentials& peer) { peer_ = peer; }

  // Subscribes to feed within scope, for the changes of the sets readable()
  // lets through. InvalidArgument when already subscribed, or when the
  // owner may not become a watcher.
  LxStatus Subscribe(ChangeFeed* feed, const ConfigScope& scope, WatchQueue::SetFilter readable);

  // Subscribes as Subscribe does, for every change after revision after,
  // read from history first (WatchQueue); fails alike.
  LxStatus SubscribeSince(ChangeFeed* feed, const ConfigScope& scope, WatchQueue::SetFilter readable,
                          WatchQueue::History history, std::uint64_t after);

  bool subscribed() const { return watch_ != nullptr; }
  bool HasNotification() const { return watch_ && !watch_->empty(); }
  // As WatchQueue::Take.
  bool TakeNotification(std::string* frame, std::size_t* charged) { return watch_ && watch_->Take(frame, charged); }

  // Frees what the budget needs back: drops the import under way and the
  // queued notifications (the watcher is told it missed them).
  void GiveBack();

 private:
  // InvalidArgument when already subscribed, or when the owner may not
  // become a watcher (it takes a watcher's place otherwise).
  LxStatus BecomeWatcher();

  SessionOwner* owner_;
  PeerCredentials peer_;
  ImportStaging staging_;
  std::unique_ptr<WatchQueue> watch_;
};

}  // namespace qet_cfgserver
