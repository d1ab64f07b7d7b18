#pragma once

#include <cstddef>
#include <vector>

#include "requests/BudgetHolder.h"

namespace qet_cfgserver {

// The one bound on what clients together make the server hold: queued
// replies, watchers' notification queues and import stagings, all counted
// against one limit (--max-client-memory).
//
// Fair when full: a charge that does not fit has the biggest other holder
// give back what it holds, then the next biggest, as long as that holder
// holds at least what the charging one would hold with the charge; when
// none does, the charge fails and the charging holder, the biggest, gives
// way (its queue is dropped, its import refused, its reply replaced by a
// server error). So a client asking for little is answered while others
// hold much, and the one holding most loses first.
//
// Holders join and leave through BudgetHolder. Must outlive them; reactor
// thread only.
class MemoryBudget {
 public:
  explicit MemoryBudget(std::size_t limitBytes) : limit_(limitBytes) {}

  MemoryBudget(const MemoryBudget&) = delete;
  MemoryBudget& operator=(const MemoryBudget&) = delete;

  std::size_t limit() const { return limit_; }
  std::size_t used() const { return used_; }

 private:
  friend class BudgetHolder;

  void Join(BudgetHolder* holder);
  void Leave(BudgetHolder* holder);
  bool Charge(BudgetHolder* holder, std::size_t bytes);
  void Refund(BudgetHolder* holder, std::size_t bytes);
  // The holder other than exception that holds most, if any holds at least
  // atLeast bytes.
  BudgetHolder* Biggest(const BudgetHolder* exception, std::size_t atLeast) const;

  const std::size_t limit_;
  std::size_t used_ = 0;
  std::vector<BudgetHolder*> holders_;
};

}  // namespace qet_cfgserver
