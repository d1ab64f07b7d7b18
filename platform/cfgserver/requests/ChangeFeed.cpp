#include "requests/ChangeFeed.h"

#include <algorithm>

#include "requests/WatchQueue.h"

namespace qet_cfgserver {

void ChangeFeed::Register(WatchQueue* queue) { queues_.push_back(queue); }

void ChangeFeed::Unregister(WatchQueue* queue) {
  queues_.erase(std::remove(queues_.begin(), queues_.end(), queue), queues_.end());
}

void ChangeFeed::Publish(const std::vector<wire::Record>& committed) {
  for (WatchQueue* queue : queues_)
    for (const wire::Record& record : committed)
      if (queue->Covers(record)) queue->Push(record);
}


}  // namespace qet_cfgserver
