#pragma once

#include <cstddef>

#include "requests/ImportStaging.h"
#include "requests/SessionOwner.h"
#include "requests/WatchQueue.h"

namespace quenlo_test {

// A client's share of the server's memory budget as a connection holds it,
// for tests of what is charged to it: bytes of its own standing for a
// reply, and the staging and queue the test attaches, all given back when
// the budget asks. Counts how often it was asked. Not thread-safe.
class BudgetedSessionOwner : public qet_cfgserver::SessionOwner {
 public:
  explicit BudgetedSessionOwner(qet_cfgserver::MemoryBudget* budget) : SessionOwner(budget) {}
  ~BudgetedSessionOwner() override { Refund(reply_); }

  bool HoldReply(std::size_t bytes) {
    if (!Charge(bytes)) return false;
    reply_ += bytes;
    return true;
  }

  void OnNotification() override {}
  bool TakeWatcherSlot() override { return true; }
  void GiveBack() override {
    ++gaveBack;
    Refund(reply_);
    reply_ = 0;
    if (staging != nullptr) staging->Drop();
    if (queue != nullptr) queue->DropAll();
  }

  qet_cfgserver::ImportStaging* staging = nullptr;
  qet_cfgserver::WatchQueue* queue = nullptr;
  int gaveBack = 0;

 private:
  std::size_t reply_ = 0;
};

}  // namespace quenlo_test
