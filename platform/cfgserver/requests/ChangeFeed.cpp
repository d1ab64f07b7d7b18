#include "requests/ChangeFeed.h"

#include <algorithm>

#include "requests/WatchQueue.h"

namespace qet_cfgserver {

void ChangeFeed::Register(WatchQueue* queue) { queues_.push_back(queue); }

void ChangeFeed::Unregister(WatchQueue* queue) {
  queues_.erase(std::remove(queues_.begin(), queues_.end(), queue), queues_.end());
}

void ChangeFeed::Publish(const CommittedRevision& revision) {
  for (WatchQueue* queue : queues_) queue->Push(revision);
}


}  // namespace qet_cfgserver
