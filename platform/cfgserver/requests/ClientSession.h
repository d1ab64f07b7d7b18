#pragma once

#include <functional>
#include <memory>
#include <string>

#include "requests/ChangeFeed.h"
#include "requests/ImportStaging.h"
#include "requests/WatchQueue.h"

namespace qet_cfgserver {

// What the server keeps for one connection beyond its bytes: an import
// under way and, once subscribed, its notification queue. The dispatcher
// acts on it; the connection owns it and sends what the queue holds.
// Reactor thread only.
class ClientSession {
 public:
  // onNotification runs whenever a notification is queued.
  explicit ClientSession(std::function<void()> onNotification) : onNotification_(std::move(onNotification)) {}

  ImportStaging& staging() { return staging_; }

  // Subscribes to feed within scope; false when already subscribed.
  bool Subscribe(ChangeFeed* feed, const ConfigScope& scope) {
    if (watch_) return false;
    watch_ = std::make_unique<WatchQueue>(feed, scope, onNotification_);
    return true;
  }

  bool subscribed() const { return watch_ != nullptr; }
  bool HasNotification() const { return watch_ && !watch_->empty(); }
  bool TakeNotification(std::string* frame) { return watch_ && watch_->Take(frame); }

 private:
  std::function<void()> onNotification_;
  ImportStaging staging_;
  std::unique_ptr<WatchQueue> watch_;
};

}  // namespace qet_cfgserver
