#pragma once

#include <cstddef>

namespace qet_cfgserver {

class MemoryBudget;

// One client's share of the MemoryBudget: the bytes it makes the server hold
// (its queued reply, its notifications, its import staging), charged before
// the memory is taken and refunded once it is freed. A holder without a
// budget (unit tests, the fuzzer) is never refused.
//
// Joins the budget on construction and leaves it on destruction, by which
// time everything it charged must be refunded. Reactor thread only.
class BudgetHolder {
 public:
  explicit BudgetHolder(MemoryBudget* budget);
  virtual ~BudgetHolder();

  BudgetHolder(const BudgetHolder&) = delete;
  BudgetHolder& operator=(const BudgetHolder&) = delete;

  // Takes bytes from the budget, having bigger holders give back theirs
  // when there is no room; false, with nothing taken, when that is not
  // enough: this holder is then the biggest and the one to give way.
  bool Charge(std::size_t bytes);
  void Refund(std::size_t bytes);

  std::size_t held() const { return held_; }

  // Another holder needs room and this one is the biggest: free what it
  // holds now (drop a queue or a staging, let go of a reply and close its
  // connection soon). Must not destroy the holder nor charge anything.
  virtual void GiveBack() = 0;

 private:
  friend class MemoryBudget;

  MemoryBudget* const budget_;
  std::size_t held_ = 0;
  std::size_t index_ = 0;  // the holder's place in the budget's list
};

}  // namespace qet_cfgserver
