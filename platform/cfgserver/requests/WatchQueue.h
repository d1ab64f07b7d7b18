#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/ConfigTypes.h"
#include "common/LxStatus.h"
#include "common/RevisionTypes.h"
#include "requests/ChangeFeed.h"
#include "requests/SessionOwner.h"

namespace qet_cfgserver {

// The notification frames waiting for one subscribed connection: one frame
// per changed key within the subscribed scope, in commit order. Bounded: at
// most kMaxFrames frames and kMaxBytes bytes, each frame charged to the
// connection's share of the memory budget (its size plus kFrameOverhead).
//
// A watch of what is committed from now on (kSubscribe) gets kNotification
// frames. A watch that resumes (kWatchSince) gets kChange frames, each with
// its revision: first every change after the revision it asked for, read
// from history a batch at a time as the connection takes its frames (what
// is published meanwhile is ignored: history holds it too), then, once it
// has read up to the current revision, each change as it is committed. So
// the replay and the live changes meet with no gap and nothing twice.
//
// Falling behind is treated alike for both: a push beyond either bound, or
// one the budget refuses, drops the whole queue and counts what was dropped
// (that push included); so does DropAll(), when the budget needs the room
// for others. The next frame taken is then one kMissed notice with the
// count, and later changes follow as usual. So a watcher that falls behind
// is told, never silently left behind, and costs the server a bounded
// amount of memory. A resuming watch counts in revisions, and skips what is
// left of a revision it counted (the changes after the notice start with a
// whole revision): it may resume again from the last one it was told
// whole. It also counts the revisions history no longer held when it came
// to read them.
//
// Frames of live changes are shared with every other queue the same change
// went to (the feed encodes each change once per kind); each queue is
// charged as if it held its own copy.
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

  // Where a resumable watch reads: the first kept revision from from on
  // (*number, *changes; NotFound when none is), and the current revision.
  using History = std::function<LxStatus(std::uint64_t from, std::uint64_t* number, std::vector<KeyChange>* changes,
                                         std::uint64_t* current)>;

  // A watch from now on. owner may be null: nothing is charged and nobody
  // told; readable may be empty: every set is.
  WatchQueue(ChangeFeed* feed, ConfigScope scope, SetFilter readable, SessionOwner* owner);
  // A watch that resumes after revision after, reading history.
  WatchQueue(ChangeFeed* feed, ConfigScope scope, SetFilter readable, SessionOwner* owner, History history,
             std::uint64_t after);
  ~WatchQueue();

  WatchQueue(const WatchQueue&) = delete;
  WatchQueue& operator=(const WatchQueue&) = delete;

  // The frame of change for a queue of this kind: a kNotification, or for
  // a resuming watch a kChange with its revision.
  static Frame FrameFor(bool resumes, std::uint64_t revision, const KeyChange& change);

  // Whether this is a watch that resumes (its frames are kChange).
  bool resumes() const { return static_cast<bool>(history_); }

  // Whether change lies within the subscribed scope and the filter, and the
  // queue takes live changes now (a resuming watch reading history does
  // not).
  bool Wants(const KeyChange& change) const { return !reading_ && Covers(change); }

  // Queues frame, made by FrameFor for this kind of queue, of a change of
  // revision that Wants().
  void Push(std::uint64_t revision, const Frame& frame);

  // Copies the next frame into *frame and hands over what it was charged:
  // the caller refunds that once the frame is sent. False when there is
  // none.
  bool Take(std::string* frame, std::size_t* charged);

  // Drops every queued frame, counting them as missed.
  void DropAll();

  bool empty() const { return frames_.empty() && missed_ == 0 && !reading_; }

 private:
  struct Queued {
    Frame frame;
    std::uint64_t revision;
  };

  // The next key a resuming watch reads from history: revision, and its
  // index among the revision's keys.
  struct Position {
    std::uint64_t revision = 0;
    std::size_t index = 0;
  };

  static std::size_t ChargeFor(const Frame& frame) { return frame->size() + kFrameOverhead; }

  bool Covers(const KeyChange& change) const;
  // Queues frame when the bounds and the budget let it; otherwise drops
  // the queue and counts the frame missed. False when it was not queued.
  bool Queue(std::uint64_t revision, const Frame& frame);
  // Counts a frame of revision as missed: one per frame, or for a resuming
  // watch one per revision.
  void CountMissed(std::uint64_t revision);
  // Reads the next batch from history into the queue.
  void ReadHistory();
  // Queues revision number's changes from next_ on while the batch and the
  // bounds allow; true when all are queued (or dropped).
  bool QueueFromHistory(std::uint64_t number, const std::vector<KeyChange>& changes);

  ChangeFeed* feed_;
  const ConfigScope scope_;
  SetFilter readable_;
  SessionOwner* owner_;
  History history_;  // empty for a watch from now on
  std::deque<Queued> frames_;
  std::size_t bytes_ = 0;  // charged for frames_
  std::uint32_t missed_ = 0;
  std::uint64_t lastMissed_ = 0;  // a resuming watch: the newest revision counted missed
  bool reading_ = false;          // a resuming watch reading history
  Position next_;                 // a resuming watch's next key in history
};

}  // namespace qet_cfgserver
