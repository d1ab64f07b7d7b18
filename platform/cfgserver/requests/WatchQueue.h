#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "cfgwire/Messages.h"
#include "requests/ChangeFeed.h"
#include "requests/SessionOwner.h"

namespace qet_cfgserver {

// The notification frames waiting for one subscribed connection. Bounded:
// at most kMaxFrames frames and kMaxBytes bytes, each frame charged to the
// connection's share of the memory budget (its size plus kFrameOverhead).
// A push beyond either bound, or one the budget refuses, drops the whole
// queue and counts what was dropped (that push included); so does
// DropAll(), when the budget needs the room for others. The next frame
// taken is then one kMissed notice with the count, and later changes
// follow as usual. So a watcher that falls behind is told, never silently
// left behind, and costs the server a bounded amount of memory.
//
// Frames are shared with every other queue the same change went to (the
// feed encodes each change once); each queue is charged as if it held its
// own copy.
//
// Only the changes of the sets its filter lets through are queued: a watcher
// sees nothing of a set it may not read.
//
// Registers with the feed on construction and unregisters on destruction.
// The owner's OnNotification() runs after every push (the connection
// starts sending). Owned by the connection's ClientSession; reactor
// thread only.
class WatchQueue {
 public:
  using Frame = std::shared_ptr<const std::string>;

  static constexpr std::size_t kMaxFrames = 1024;
  static constexpr std::size_t kMaxBytes = 256 * 1024;
  // What a queued frame costs beside its bytes: its place in the queue,
  // its share of the shared frame's bookkeeping.
  static constexpr std::size_t kFrameOverhead = 32;

  // Whether the changes of a set are for this watcher.
  using SetFilter = std::function<bool(const std::string& set)>;

  // owner may be null: nothing is charged and nobody told; readable may be
  // empty: every set is.
  WatchQueue(ChangeFeed* feed, ConfigScope scope, SetFilter readable, SessionOwner* owner);
  ~WatchQueue();

  WatchQueue(const WatchQueue&) = delete;
  WatchQueue& operator=(const WatchQueue&) = delete;

  // Whether record lies within the subscribed scope and the filter.
  bool Covers(const wire::Record& record) const;

  // Queues frame, a notification encoded by the feed.
  void Push(const Frame& frame);

  // Copies the next frame into *frame and hands over what it was charged:
  // the caller refunds that once the frame is sent. False when there is
  // none.
  bool Take(std::string* frame, std::size_t* charged);

  // Drops every queued frame, counting them as missed.
  void DropAll();

  bool empty() const { return frames_.empty() && missed_ == 0; }

 private:
  static std::size_t ChargeFor(const Frame& frame) { return frame->size() + kFrameOverhead; }

  ChangeFeed* feed_;
  const ConfigScope scope_;
  SetFilter readable_;
  SessionOwner* owner_;
  std::deque<Frame> frames_;
  std::size_t bytes_ = 0;  // charged for frames_
  std::uint32_t missed_ = 0;
};

}  // namespace qet_cfgserver
