#pragma once

#include <functional>
#include <memory>
#include <string>

#include "access/PeerCredentials.h"
#include "requests/ChangeFeed.h"
#include "requests/ImportStaging.h"
#include "requests/WatchQueue.h"

namespace qet_cfgserver {

// What the server keeps for one connection beyond its bytes: who is at its
// other end, an import under way and, once subscribed, its notification
// queue. The dispatcher acts on it; the connection owns it, sets the peer
// when accepted and sends what the queue holds.
// Reactor thread only.
class ClientSession {
 public:
  // onNotification runs whenever a notification is queued.
  explicit ClientSession(std::function<void()> onNotification) : onNotification_(std::move(onNotification)) {}

  ImportStaging& staging() { return staging_; }

  const PeerCredentials& peer() const { return peer_; }
  void SetPeer(const PeerCredentials& peer) { peer_ = peer; }

  // Subscribes to feed within scope, for the changes of the sets readable()
  // lets through; false when already subscribed.
  bool Subscribe(ChangeFeed* feed, const ConfigScope& scope, WatchQueue::SetFilter readable) {
    if (watch_) return false;
    watch_ = std::make_unique<WatchQueue>(feed, scope, std::move(readable), onNotification_);
    return true;
  }

  // Subscribes to feed within scope for every change after revision after,
  // read from history first (WatchQueue); the caller checked it is not
  // subscribed.
  void SubscribeSince(ChangeFeed* feed, const ConfigScope& scope, WatchQueue::SetFilter readable,
                      WatchQueue::History history, std::uint64_t after) {
    watch_ = std::make_unique<WatchQueue>(feed, scope, std::move(readable), onNotification_, std::move(history), after);
  }

  bool subscribed() const { return watch_ != nullptr; }
  bool HasNotification() const { return watch_ && !watch_->empty(); }
  bool TakeNotification(std::string* frame) { return watch_ && watch_->Take(frame); }

 private:
  std::function<void()> onNotification_;
  PeerCredentials peer_;
  ImportStaging staging_;
  std::unique_ptr<WatchQueue> watch_;
};

}  // namespace qet_cfgserver
