#include "requests/ChangeFeed.h"

#include <algorithm>

#include "requests/WatchQueue.h"

namespace qet_cfgserver {

void ChangeFeed::Register(WatchQueue* queue) { queues_.push_back(queue); }

void ChangeFeed::Unregister(WatchQueue* queue) {
  queues_.erase(std::remove(queues_.begin(), queues_.end(), queue), queues_.end());
}

void ChangeFeed::Publish(const CommittedRevision& revision) {
  for (const KeyChange& change : revision.changes) {
    WatchQueue::Frame notification, resumed;  // made for the first queue of each kind
    for (WatchQueue* queue : queues_) {
      if (!queue->Wants(change)) continue;
      WatchQueue::Frame& frame = queue->resumes() ? resumed : notification;
      if (!frame) frame = WatchQueue::FrameFor(queue->resumes(), revision.number, change);
      queue->Push(revision.number, frame);
    }
  }
}

}  // namespace qet_cfgserver
