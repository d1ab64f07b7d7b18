#include "requests/ChangeFeed.h"

#include <algorithm>

#include "requests/WatchQueue.h"

namespace qet_cfgserver {

namespace {

WatchQueue::Frame NotificationFrame(const wire::Record& record) {
  wire::Reply reply;
  reply.kind = wire::ReplyKind::kNotification;
  reply.records.push_back(record);
  auto frame = std::make_shared<std::string>();
  // A notification holds one key and value within the request limits: it
  // always fits a frame.
  wire::EncodeReplyFrame(reply, frame.get(), wire::kProtocolVersion);
  return frame;
}

}  // namespace

void ChangeFeed::Register(WatchQueue* queue) { queues_.push_back(queue); }

void ChangeFeed::Unregister(WatchQueue* queue) {
  queues_.erase(std::remove(queues_.begin(), queues_.end(), queue), queues_.end());
}

void ChangeFeed::Publish(const std::vector<wire::Record>& committed) {
  for (const wire::Record& record : committed) {
    WatchQueue::Frame frame;
    for (WatchQueue* queue : queues_) {
      if (!queue->Covers(record)) continue;
      if (!frame) frame = NotificationFrame(record);
      queue->Push(frame);
    }
  }
}

wire::Record ValueWritten(const wire::Request& write) {
  return wire::Record{wire::RecordKind::kValue, write.set, write.section, write.key, write.value, ""};
}

}  // namespace qet_cfgserver
