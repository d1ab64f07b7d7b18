#pragma once

#include <ace/Reactor.h>

#include "common/LxStatus.h"
#include "process/SignalPipe.h"

namespace qet_cfgserver {

// Ends the reactor's event loop on SIGTERM or SIGINT, in the reactor thread
// (SignalPipe), where it is safe to close connections and the store. Also
// ignores SIGPIPE for the process.
//
// One per process: Install() takes over the two signals until the object is
// destroyed, which restores their default handling.
class ShutdownSignal {
 public:
  ShutdownSignal() = default;

  ShutdownSignal(const ShutdownSignal&) = delete;
  ShutdownSignal& operator=(const ShutdownSignal&) = delete;

  LxStatus Install(ACE_Reactor* reactor);

  // Before the reactor closes (see SignalPipe::LeaveReactor).
  void LeaveReactor() { pipe_.LeaveReactor(); }

  // True once a signal asked the server to stop.
  bool requested() const { return requested_; }

 private:
  void Stop();

  bool requested_ = false;
  SignalPipe pipe_{{SIGTERM, SIGINT}, [this] { Stop(); }};
};

}  // namespace qet_cfgserver
