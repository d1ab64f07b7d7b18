#include "process/ShutdownSignal.h"

#include <errno.h>
#include <signal.h>
#include <string.h>

namespace qet_cfgserver {

LxStatus ShutdownSignal::Install(ACE_Reactor* reactor) {
  if (signal(SIGPIPE, SIG_IGN) == SIG_ERR) return LxStatus::IoError(std::string("signal: ") + strerror(errno));
  return pipe_.Install(reactor);
}

void ShutdownSignal::Stop() {
  requested_ = true;
  pipe_.reactor()->end_reactor_event_loop();
}

}  // namespace qet_cfgserver
