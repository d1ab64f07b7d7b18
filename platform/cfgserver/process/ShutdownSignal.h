#pragma once

#include <ace/Event_Handler.h>
#include <ace/Pipe.h>

#include "common/LxStatus.h"

namespace qet_cfgserver {

// Ends the reactor's event loop on SIGTERM or SIGINT. The signal handler
// only writes one byte into a pipe (async-signal-safe); the reactor sees the
// pipe readable and ends its loop in the reactor thread, where it is safe to
// close connections and the store. Also ignores SIGPIPE for the process.
//
// One per process: Install() takes over the two signals until the object is
// destroyed, which restores their default handling.
class ShutdownSignal : public ACE_Event_Handler {
 public:
  ShutdownSignal() = default;
  ~ShutdownSignal() override;

  ShutdownSignal(const ShutdownSignal&) = delete;
  ShutdownSignal& operator=(const ShutdownSignal&) = delete;

  // Creates the pipe, registers its read end with reactor and installs the
  // signal handlers.
  LxStatus Install(ACE_Reactor* reactor);

  // True once a signal asked the server to stop.
  bool requested() const { return requested_; }

  ACE_HANDLE get_handle() const override;
  int handle_input(ACE_HANDLE handle) override;

 private:
  ACE_Pipe pipe_;
  bool installed_ = false;
  bool requested_ = false;
};

}  // namespace qet_cfgserver
