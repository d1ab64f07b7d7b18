#include "requests/WatchQueue.h"

#include "cfgwire/Messages.h"
#include "log/ServerLog.h"
#include "requests/RevisionNotes.h"

namespace qet_cfgserver {

namespace {

// Frames a resumable watch reads from history at a time: the connection
// sends them before the next batch is read.
constexpr std::size_t kHistoryBatchFrames = 256;

std::uint32_t Saturated(std::uint64_t count) { return count > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(count); }

}  // namespace

WatchQueue::WatchQueue(ChangeFeed* feed, ConfigScope scope, SetFilter readable, SessionOwner* owner)
    : feed_(feed), scope_(std::move(scope)), readable_(std::move(readable)), owner_(owner) {
  feed_->Register(this);
}

WatchQueue::WatchQueue(ChangeFeed* feed, ConfigScope scope, SetFilter readable, SessionOwner* owner,
                       History history, std::uint64_t after)
    : WatchQueue(feed, std::move(scope), std::move(readable), owner) {
  history_ = std::move(history);
  reading_ = true;
  next_ = Position{after + 1, 0};
}

WatchQueue::~WatchQueue() {
  feed_->Unregister(this);
  if (owner_ != nullptr) owner_->Refund(bytes_);
}

WatchQueue::Frame WatchQueue::FrameFor(bool resumes, std::uint64_t revision, const KeyChange& change) {
  wire::Reply reply;
  reply.kind = resumes ? wire::ReplyKind::kChange : wire::ReplyKind::kNotification;
  reply.revision = resumes ? revision : 0;
  reply.records.push_back(NotificationOf(change));
  auto frame = std::make_shared<std::string>();
  // A notification holds one key and value within the request limits: it
  // always fits a frame.
  wire::EncodeReplyFrame(reply, frame.get(), wire::kProtocolVersion);
  return frame;
}

bool WatchQueue::Covers(const KeyChange& change) const {
  return scope_.Covers(change.set, change.section, change.key) && (!readable_ || readable_(change.set));
}

void WatchQueue::Push(std::uint64_t revision, const Frame& frame) {
  // The rest of a revision already counted missed.
  if (resumes() && revision == lastMissed_) return;
  Queue(revision, frame);
  if (owner_ != nullptr) owner_->OnNotification();
}

bool WatchQueue::Queue(std::uint64_t revision, const Frame& frame) {
  const std::size_t charge = ChargeFor(frame);
  const bool fits = frames_.size() + 1 <= kMaxFrames && bytes_ + charge <= kMaxBytes &&
                    (owner_ == nullptr || owner_->Charge(charge));
  if (!fits) {
    DropAll();
    CountMissed(revision);  // this frame
    return false;
  }
  bytes_ += charge;
  frames_.push_back(Queued{frame, revision});
  return true;
}

void WatchQueue::CountMissed(std::uint64_t revision) {
  if (resumes()) {
    if (revision == lastMissed_) return;
    lastMissed_ = revision;
  }
  missed_ = Saturated(std::uint64_t{missed_} + 1);
}

void WatchQueue::DropAll() {
  if (missed_ == 0 && !frames_.empty())
    __dlog_printf(kDlogWarning, kServerLogSource, "a watcher fell behind; %zu notifications dropped", frames_.size());
  for (const Queued& queued : frames_) CountMissed(queued.revision);
  frames_.clear();
  if (owner_ != nullptr) owner_->Refund(bytes_);
  bytes_ = 0;
}

bool WatchQueue::QueueFromHistory(std::uint64_t number, const std::vector<KeyChange>& changes) {
  if (next_.revision != number) next_ = Position{number, 0};
  if (number == lastMissed_) next_.index = changes.size();  // the rest of a revision counted missed
  for (; next_.index < changes.size(); ++next_.index) {
    const KeyChange& change = changes[next_.index];
    if (!Covers(change)) continue;
    const Frame frame = FrameFor(true, number, change);
    // Reading is not falling behind: a full batch waits for the next read.
    if (frames_.size() >= kHistoryBatchFrames || bytes_ + ChargeFor(frame) > kMaxBytes) return false;
    if (!Queue(number, frame)) {
      // Refused by the budget: counted missed with the rest of its
      // revision; the notice goes before anything more is read.
      next_ = Position{number + 1, 0};
      return false;
    }
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
      missed_ = Saturated(std::uint64_t{missed_} + (number - next_.revision));
      next_ = Position{number, 0};
    }
    if (!status.ok()) {
      reading_ = false;  // up to the current revision: from now on, what is published
      return;
    }
    if (!QueueFromHistory(number, changes)) return;
  }
}

bool WatchQueue::Take(std::string* frame, std::size_t* charged) {
  if (frames_.empty() && missed_ == 0 && reading_) ReadHistory();
  if (missed_ > 0) {
    wire::Reply reply;
    reply.kind = wire::ReplyKind::kMissed;
    reply.missed = missed_;
    // A count always fits a frame.
    wire::EncodeReplyFrame(reply, frame, wire::kProtocolVersion);
    missed_ = 0;
    *charged = 0;  // a notice of a few bytes, like a request's own reply
    return true;
  }
  if (frames_.empty()) return false;
  frame->assign(*frames_.front().frame);
  *charged = ChargeFor(frames_.front().frame);
  frames_.pop_front();
  bytes_ -= *charged;
  return true;
}

}  // namespace qet_cfgserver
