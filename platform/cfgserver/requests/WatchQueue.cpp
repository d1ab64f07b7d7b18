#include "requests/WatchQueue.h"

#include "log/ServerLog.h"

namespace qet_cfgserver {

namespace {

std::string NotificationFrame(const wire::Reply& reply) {
  std::string frame;
  // A notification holds one key and value within the request limits: it
  // always fits a frame.
  wire::EncodeReplyFrame(reply, &frame, wire::kProtocolVersion);
  return frame;
}

}  // namespace

WatchQueue::WatchQueue(ChangeFeed* feed, ConfigScope scope, SetFilter readable, std::function<void()> onPushed)
    : feed_(feed), scope_(std::move(scope)), readable_(std::move(readable)), onPushed_(std::move(onPushed)) {
  feed_->Register(this);
}

WatchQueue::~WatchQueue() { feed_->Unregister(this); }

bool WatchQueue::Covers(const wire::Record& record) const {
  const int level = static_cast<int>(scope_.level);
  return (level < 1 || record.set == scope_.set) && (level < 2 || record.section == scope_.section) &&
         (level < 3 || record.key == scope_.key) && readable_(record.set);
}

void WatchQueue::Push(const wire::Record& record) {
  wire::Reply reply;
  reply.kind = wire::ReplyKind::kNotification;
  reply.records.push_back(record);
  std::string frame = NotificationFrame(reply);
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

bool WatchQueue::Take(std::string* frame) {
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
