#include "requests/MemoryBudget.h"

#include "log/ServerLog.h"

namespace qet_cfgserver {

BudgetHolder::BudgetHolder(MemoryBudget* budget) : budget_(budget) {
  if (budget_ != nullptr) budget_->Join(this);
}

BudgetHolder::~BudgetHolder() {
  if (budget_ != nullptr) budget_->Leave(this);
}

bool BudgetHolder::Charge(std::size_t bytes) {
  if (budget_ != nullptr) return budget_->Charge(this, bytes);
  held_ += bytes;
  return true;
}

void BudgetHolder::Refund(std::size_t bytes) {
  if (budget_ != nullptr) budget_->Refund(this, bytes);
  else held_ -= bytes;
}

void MemoryBudget::Join(BudgetHolder* holder) {
  holder->index_ = holders_.size();
  holders_.push_back(holder);
}

void MemoryBudget::Leave(BudgetHolder* holder) {
  used_ -= holder->held_;  // nothing, when the holder refunded all it charged
  BudgetHolder* last = holders_.back();
  holders_[holder->index_] = last;
  last->index_ = holder->index_;
  holders_.pop_back();
}

bool MemoryBudget::Charge(BudgetHolder* holder, std::size_t bytes) {
  while (bytes > limit_ - used_) {
    BudgetHolder* biggest = Biggest(holder, holder->held_ + bytes);
    if (biggest == nullptr) return false;
    const std::size_t before = biggest->held_;
    __dlog_printf(kDlogWarning, kServerLogSource,
                  "client memory at its limit of %zu bytes: a client holding %zu bytes gives them back", limit_,
                  before);
    biggest->GiveBack();
    if (biggest->held_ >= before) return false;  // it had nothing it could give: do not ask again
  }
  holder->held_ += bytes;
  used_ += bytes;
  return true;
}

void MemoryBudget::Refund(BudgetHolder* holder, std::size_t bytes) {
  holder->held_ -= bytes;
  used_ -= bytes;
}

BudgetHolder* MemoryBudget::Biggest(const BudgetHolder* exception, std::size_t atLeast) const {
  BudgetHolder* biggest = nullptr;
  for (BudgetHolder* holder : holders_)
    if (holder != exception && holder->held_ >= atLeast && (biggest == nullptr || holder->held_ > biggest->held_))
      biggest = holder;
  return biggest;
}

}  // namespace qet_cfgserver
