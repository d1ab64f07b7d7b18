#include "process/ConfirmationTimer.h"

#include <time.h>

namespace qet_cfgserver {

void ConfirmationTimer::Arm(std::optional<std::int64_t> deadline) {
  if (timer_ != -1) reactor_->cancel_timer(timer_);
  timer_ = -1;
  if (!deadline) return;
  // Whole seconds both: the timer never wakes before time() reaches the deadline.
  const std::int64_t left = *deadline - static_cast<std::int64_t>(time(nullptr));
  timer_ = reactor_->schedule_timer(this, nullptr, ACE_Time_Value(static_cast<time_t>(left > 0 ? left : 0)));
}

int ConfirmationTimer::handle_timeout(const ACE_Time_Value&, const void*) {
  timer_ = -1;
  onDeadline_();
  return 0;
}

}  // namespace qet_cfgserver
