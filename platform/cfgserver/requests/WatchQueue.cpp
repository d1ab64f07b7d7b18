#include "requests/WatchQueue.h"

#include "log/ServerLog.h"

namespace qet_cfgserver {

WatchQueue::WatchQueue(ChangeFeed* feed, ConfigScope scope, SetFilter readable, SessionOwner* owner)
    : feed_(feed), scope_(std::move(scope)), readable_(std::move(readable)), owner_(owner) {
  feed_->Register(this);
}

WatchQueue::~WatchQueue() {
  feed_->Unregister(this);
  if (owner_ != nullptr) owner_->Refund(bytes_);
}

bool WatchQueue::Covers(const wire::Record& record) const {
  const int level = static_cast<int>(scope_.level);
  return (level < 1 || record.set == scope_.set) && (level < 2 || record.section == scope_.section) &&
         (level < 3 || record.key == scope_.key) && (!readable_ || readable_(record.set));
}

void WatchQueue::Push(const Frame& frame) {
  const std::size_t charge = ChargeFor(frame);
  const bool fits = frames_.size() + 1 <= kMaxFrames && bytes_ + charge <= kMaxBytes &&
                    (owner_ == nullptr || owner_->Charge(charge));
  if (fits) {
    bytes_ += charge;
    frames_.push_back(frame);
  } else {
    DropAll();
    ++missed_;  // this push
  }
  if (owner_ != nullptr) owner_->OnNotification();
}

void WatchQueue::DropAll() {
  if (missed_ == 0 && !frames_.empty())
    __dlog_printf(kDlogWarning, kServerLogSource, "a watcher fell behind; %zu notifications dropped", frames_.size());
  missed_ += static_cast<std::uint32_t>(frames_.size());
  frames_.clear();
  if (owner_ != nullptr) owner_->Refund(bytes_);
  bytes_ = 0;
}

bool WatchQueue::Take(std::string* frame, std::size_t* charged) {
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
  frame->assign(*frames_.front());
  *charged = ChargeFor(frames_.front());
  frames_.pop_front();
  bytes_ -= *charged;
  return true;
}

}  // namespace qet_cfgserver
