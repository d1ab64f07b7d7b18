#pragma once

#include <ace/Event_Handler.h>
#include <ace/Reactor.h>

#include <cstdint>
#include <functional>
#include <optional>

namespace qet_cfgserver {

// The reactor's one-shot timer for the deadline of a change awaiting
// confirmation (ConfirmationKeeper's arm): each Arm replaces the timer
// armed before. onDeadline runs in the reactor thread. Owns nothing;
// reactor thread only; disarm before the reactor goes.
class ConfirmationTimer : public ACE_Event_Handler {
 public:
  ConfirmationTimer(ACE_Reactor* reactor, std::function<void()> onDeadline)
      : reactor_(reactor), onDeadline_(std::move(onDeadline)) {}

  // Wakes at deadline (seconds since 1970-01-01 UTC; at once when past),
  // or never when there is none.
  void Arm(std::optional<std::int64_t> deadline);

  int handle_timeout(const ACE_Time_Value& now, const void* argument) override;

 private:
  ACE_Reactor* reactor_;
  std::function<void()> onDeadline_;
  long timer_ = -1;  // the armed timer's id, -1 for none
};

}  // namespace qet_cfgserver
