#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "cfgwire/Messages.h"
#include "requests/ChangeFeed.h"
#include "store/ConfigStore.h"

namespace qet_cfgserver {

// The notification frames waiting for one subscribed connection. Bounded:
// at most kMaxFrames frames and kMaxBytes bytes. A push beyond either drops
// the whole queue and counts what was dropped (that push included); the
// next frame taken is then one kMissed notice with the count, and later
// changes follow as usual. So a watcher that falls behind is told, never
// silently left behind, and costs the server a bounded amount of memory.
//
// Only the changes of the sets its filter lets through are queued: a watcher
// sees nothing of a set it may not read.
//
// Registers with the feed on construction and unregisters on destruction.
// onPushed runs after every push (the connection starts sending). Owned by
// the connection's ClientSession; reactor thread only.
class WatchQueue {
 public:
  static constexpr std::size_t kMaxFrames = 1024;
  static constexpr std::size_t kMaxBytes = 1024 * 1024;

  // Whether the changes of a set are for this watcher.
  using SetFilter = std::function<bool(const std::string& set)>;

  WatchQueue(ChangeFeed* feed, ConfigScope scope, SetFilter readable, std::function<void()> onPushed);
  ~WatchQueue();

  WatchQueue(const WatchQueue&) = delete;
  WatchQueue& operator=(const WatchQueue&) = delete;

  // Whether record lies within the subscribed scope and the filter.
  bool Covers(const wire::Record& record) const;

  void Push(const wire::Record& record);

  // Moves the next frame into *frame; false when there is none.
  bool Take(std::string* frame);

  bool empty() const { return frames_.empty() && missed_ == 0; }

 private:
  ChangeFeed* feed_;
  const ConfigScope scope_;
  SetFilter readable_;
  std::function<void()> onPushed_;
  std::deque<std::string> frames_;
  std::size_t bytes_ = 0;
  std::uint32_t missed_ = 0;
};

}  // namespace qet_cfgserver
