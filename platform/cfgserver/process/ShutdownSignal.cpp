#include "process/ShutdownSignal.h"

#include <ace/Reactor.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

namespace qet_cfgserver {

namespace {

// Where the signal handler writes; the handler may touch nothing else.
volatile sig_atomic_t wakeDescriptor = -1;

constexpr int kStopSignals[] = {SIGTERM, SIGINT};

extern "C" void WakeReactor(int) {
  const int savedErrno = errno;
  const char byte = 1;
  const int descriptor = wakeDescriptor;
  // A full pipe already holds a wake-up; the result does not matter.
  if (descriptor >= 0) (void)!write(descriptor, &byte, 1);
  errno = savedErrno;
}

LxStatus SetHandler(int signalNumber, void (*handler)(int)) {
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  if (sigaction(signalNumber, &action, nullptr) != 0)
    return LxStatus::IoError(std::string("sigaction: ") + strerror(errno));
  return LxStatus::Ok();
}

}  // namespace

ShutdownSignal::~ShutdownSignal() {
  if (installed_) {
    for (int signalNumber : kStopSignals) SetHandler(signalNumber, SIG_DFL);
    wakeDescriptor = -1;
    if (reactor() != nullptr) reactor()->remove_handler(this, ACE_Event_Handler::READ_MASK | ACE_Event_Handler::DONT_CALL);
  }
  pipe_.close();
}

LxStatus ShutdownSignal::Install(ACE_Reactor* reactor) {
  if (pipe_.open() != 0) return LxStatus::IoError(std::string("cannot create the wake-up pipe: ") + strerror(errno));
  for (ACE_HANDLE end : {pipe_.read_handle(), pipe_.write_handle()}) {
    fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK);
    fcntl(end, F_SETFD, FD_CLOEXEC);
  }
  this->reactor(reactor);
  if (reactor->register_handler(this, ACE_Event_Handler::READ_MASK) != 0)
    return LxStatus::IoError("cannot register the wake-up pipe");
  wakeDescriptor = pipe_.write_handle();
  installed_ = true;
  LxStatus status = SetHandler(SIGPIPE, SIG_IGN);
  for (int signalNumber : kStopSignals)
    if (status.ok()) status = SetHandler(signalNumber, WakeReactor);
  return status;
}

ACE_HANDLE ShutdownSignal::get_handle() const { return pipe_.read_handle(); }

int ShutdownSignal::handle_input(ACE_HANDLE) {
  char drained[64];
  while (read(pipe_.read_handle(), drained, sizeof drained) > 0) {
  }
  requested_ = true;
  reactor()->end_reactor_event_loop();
  return 0;
}

}  // namespace qet_cfgserver
