#include "requests/WatchQueue.h"

#include "log/ServerLog.h"
#include "requests/RevisionNotes.h"

namespace qet_cfgserver {

namespace {

// Frames a resumable watch reads from history at a time: the connection
// sends them before the next batch is read.
constexpr std::size_t kHistoryBatchFrames = 256;

std::string NotificationFrame(const wire::Reply& reply) {
  std::string frame;
  // A notification holds one key and value within the request limits: it
  // always fits a frame.
  wire::EncodeReplyFrame(reply, &frame, wire::kProtocolVersion);
  return frame;
}

std::string ChangeFrame(wire::ReplyKind kind, std::uint64_t revision, const KeyChange& change) {
  wire::Reply reply;
  reply.kind = kind;
  reply.revision = revision;
  reply.records.push_back(NotificationOf(change));
  return NotificationFrame(reply);
}

std::uint32_t Saturated(std::uint64_t count) { return count > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(count); }

}  // namespace

WatchQueue::WatchQueue(ChangeFeed* feed, ConfigScope scope, SetFilter readable, std::function<void()> onPushed)
    : feed_(feed), scope_(std::move(scope)), readable_(std::move(readable)), onPushed_(std::move(onPushed)) {
  feed_->Register(this);
}

WatchQueue::WatchQueue(ChangeFeed* feed, ConfigScope scope, SetFilter readable, std::function<void()> onPushed,
                       History history, std::uint64_t after)
    : WatchQueue(feed, std::move(scope), std::move(readable), std::move(onPushed)) {
  history_ = std::move(history);
  reading_ = true;
  next_ = Position{after + 1, 0};
}

WatchQueue::~WatchQueue() { feed_->Unregister(this); }

bool WatchQueue::Covers(const KeyChange& change) const {
  return scope_.Covers(change.set, change.section, change.key) && readable_(change.set);
}

void WatchQueue::Push(const CommittedRevision& revision) {
  if (!history_) {
    PushFromNow(revision);
    return;
  }
  // Reading history, which holds this one too.
  if (reading_) return;
  const std::size_t waiting = frames_.size();
  if (!QueueFrom(revision.number, revision.changes, kMaxFrames)) reading_ = true;
  if (frames_.size() != waiting || reading_) onPushed_();
}

void WatchQueue::PushFromNow(const CommittedRevision& revision) {
  for (const KeyChange& change : revision.changes) {
    if (!Covers(change)) continue;
    std::string frame = ChangeFrame(wire::ReplyKind::kNotification, 0, change);
    if (frames_.size() + 1 > kMaxFrames || bytes_ + frame.size() > kMaxBytes) {
      if (missed_ == 0)
        __dlog_printf(kDlogWarning, kServerLogSource, "a watcher fell behind; %zu notifications dropped",
                      frames_.size() + 1);
      missed_ += static_cast<std::uint32_t>(frames_.size() + 1);
      frames_.clear();
      bytes_ = 0;
    } else {
      bytes_ += frame.size();
      frames_.push_back(std::move(frame));
    }
    onPushed_();
  }
}

bool WatchQueue::QueueFrom(std::uint64_t number, const std::vector<KeyChange>& changes, std::size_t frameLimit) {
  if (next_.revision != number) next_ = Position{number, 0};
  for (; next_.index < changes.size(); ++next_.index) {
    const KeyChange& change = changes[next_.index];
    if (!Covers(change)) continue;
    std::string frame = ChangeFrame(wire::ReplyKind::kChange, number, change);
    if (frames_.size() >= frameLimit || bytes_ + frame.size() > kMaxBytes) return false;
    bytes_ += frame.size();
    frames_.push_back(std::move(frame));
  }
  next_ = Position{number + 1, 0};
  return true;
}

void WatchQueue::ReadHistory() {
  while (reading_ && frames_.size() < kHistoryBatchFrames) {
    std::uint64_t number = 0, current = 0;
    std::vector<KeyChange> changes;
    const LxStatus status = history_(next_.revision, &number, &changes, &current);
    // NotFound: nothing kept from next_ on; up to the current revision, what
    // is not kept is missed. Another failure counts what it could not read
    // as missed alike.
    if (!status.ok()) {
      if (status.code() != LxStatus::Code::kNotFound)
        __dlog_printf(kDlogError, kServerLogSource, "a watcher's history cannot be read: %s",
                      status.ToString().c_str());
      number = current + 1;
    }
    // Revisions history no longer holds: counted, in order, before the rest.
    if (number > next_.revision) {
      if (!frames_.empty()) return;
      missed_ = Saturated(missed_ + (number - next_.revision));
      next_ = Position{number, 0};
    }
    if (!status.ok()) {
      reading_ = false;  // up to the current revision: from now on, what is published
      return;
    }
    if (!QueueFrom(number, changes, kHistoryBatchFrames)) return;
  }
}

bool WatchQueue::Take(std::string* frame) {
  if (frames_.empty() && missed_ == 0 && reading_) ReadHistory();
  if (missed_ > 0) {
    wire::Reply reply;
    reply.kind = wire::ReplyKind::kMissed;
    reply.missed = missed_;
    *frame = NotificationFrame(reply);
    missed_ = 0;
    return true;
  }
  if (frames_.empty()) return false;
  *frame = std::move(frames_.front());
  frames_.pop_front();
  bytes_ -= frame->size();
  return true;
}

}  // namespace qet_cfgserver
