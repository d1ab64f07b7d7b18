#pragma once

#include <ace/Event_Handler.h>
#include <ace/Pipe.h>

#include <functional>
#include <vector>

#include "common/LxStatus.h"

namespace qet_cfgserver {

// Hands signals to the reactor thread: the signal handler only writes one
// byte into a pipe (async-signal-safe); the reactor sees the pipe readable
// and runs onSignal in its own thread, where it is safe to touch the
// server's state. Signals that arrive together may run onSignal once.
//
// Install() takes over the signals until the object is destroyed, which
// restores their default handling; a signal belongs to one SignalPipe at a
// time. Main thread for Install() and destruction.
class SignalPipe : public ACE_Event_Handler {
 public:
  SignalPipe(std::vector<int> signals, std::function<void()> onSignal)
      : signals_(std::move(signals)), onSignal_(std::move(onSignal)) {}
  ~SignalPipe() override;

  SignalPipe(const SignalPipe&) = delete;
  SignalPipe& operator=(const SignalPipe&) = delete;

  // Creates the pipe, registers its read end with reactor and installs the
  // signal handlers.
  LxStatus Install(ACE_Reactor* reactor);

  // Before the reactor closes, which must not be asked again: signals from
  // now on are caught but not handed on.
  void LeaveReactor();

  ACE_HANDLE get_handle() const override;
  int handle_input(ACE_HANDLE handle) override;

 private:
  const std::vector<int> signals_;
  std::function<void()> onSignal_;
  ACE_Pipe pipe_;
  bool installed_ = false;
};

}  // namespace qet_cfgserver
