#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "cfgwire/Messages.h"
#include "common/LxStatus.h"
#include "requests/ChangeFeed.h"
#include "store/ConfigStore.h"

namespace qet_cfgserver {

// The notification frames waiting for one subscribed connection: one frame
// per changed key within the subscribed scope, in commit order. Bounded: at
// most kMaxFrames frames and kMaxBytes bytes.
//
// A watch of what is committed from now on (kSubscribe) gets kNotification
// frames. A push beyond a bound drops the whole queue and counts what was
// dropped (that push included); the next frame taken is then one kMissed
// notice with the count, and later changes follow as usual. So a watcher
// that falls behind is told, never silently left behind.
//
// A watch that resumes (kWatchSince) gets kChange frames, each with its
// revision: first every change after the revision it asked for, read from
// history, then each change as it is committed. While it reads history it
// reads a batch at a time as the connection takes its frames, and ignores
// what is published meanwhile (history holds that too); when it has read
// up to the current revision it takes what is published. A push beyond a
// bound is not dropped: the watch reads on from history where the queue
// stopped. So it misses nothing history still holds, sees nothing twice,
// and a kMissed notice counts only revisions history no longer holds (in
// revisions).
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

  // Where a resumable watch reads: the first kept revision from from on
  // (*number, *changes; NotFound when none is), and the current revision.
  using History = std::function<LxStatus(std::uint64_t from, std::uint64_t* number, std::vector<KeyChange>* changes,
                                         std::uint64_t* current)>;

  // A watch from now on.
  WatchQueue(ChangeFeed* feed, ConfigScope scope, SetFilter readable, std::function<void()> onPushed);
  // A watch that resumes after revision after, reading history.
  WatchQueue(ChangeFeed* feed, ConfigScope scope, SetFilter readable, std::function<void()> onPushed, History history,
             std::uint64_t after);
  ~WatchQueue();

  WatchQueue(const WatchQueue&) = delete;
  WatchQueue& operator=(const WatchQueue&) = delete;

  // Whether change lies within the subscribed scope and the filter.
  bool Covers(const KeyChange& change) const;

  // A committed revision, from the feed.
  void Push(const CommittedRevision& revision);

  // Moves the next frame into *frame; false when there is none.
  bool Take(std::string* frame);

  bool empty() const { return frames_.empty() && missed_ == 0 && !reading_; }

 private:
  // The next key to queue: revision, and its index among the revision's keys.
  struct Position {
    std::uint64_t revision = 0;
    std::size_t index = 0;
  };

  void PushFromNow(const CommittedRevision& revision);
  // Queues revision number's changes from next_ on while fewer than
  // frameLimit frames wait and kMaxBytes allows; true when all are queued.
  bool QueueFrom(std::uint64_t number, const std::vector<KeyChange>& changes, std::size_t frameLimit);
  // Reads the next batch from history into the queue.
  void ReadHistory();

  ChangeFeed* feed_;
  const ConfigScope scope_;
  SetFilter readable_;
  std::function<void()> onPushed_;
  History history_;  // empty for a watch from now on
  std::deque<std::string> frames_;
  std::size_t bytes_ = 0;
  std::uint32_t missed_ = 0;
  bool reading_ = false;  // a resumable watch reading history
  Position next_;         // a resumable watch's next key
};

}  // namespace qet_cfgserver
