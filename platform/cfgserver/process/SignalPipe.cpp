#include "process/SignalPipe.h"

#include <ace/Reactor.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

namespace qet_cfgserver {

namespace {

// Per signal, one more than the descriptor its handler writes to (0: none);
// the handler may touch nothing else.
volatile sig_atomic_t wakeDescriptors[NSIG];

extern "C" void WakeReactor(int signalNumber) {
  const int savedErrno = errno;
  const char byte = 1;
  const int descriptor = wakeDescriptors[signalNumber] - 1;
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

SignalPipe::~SignalPipe() {
  if (installed_)
    for (int signalNumber : signals_) {
      SetHandler(signalNumber, SIG_DFL);
      wakeDescriptors[signalNumber] = 0;
    }
  LeaveReactor();
  pipe_.close();
}

void SignalPipe::LeaveReactor() {
  if (reactor() != nullptr) reactor()->remove_handler(this, ACE_Event_Handler::READ_MASK | ACE_Event_Handler::DONT_CALL);
  reactor(nullptr);
}

LxStatus SignalPipe::Install(ACE_Reactor* reactor) {
  if (pipe_.open() != 0) return LxStatus::IoError(std::string("cannot create a signal pipe: ") + strerror(errno));
  for (ACE_HANDLE end : {pipe_.read_handle(), pipe_.write_handle()}) {
    fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK);
    fcntl(end, F_SETFD, FD_CLOEXEC);
  }
  this->reactor(reactor);
  if (reactor->register_handler(this, ACE_Event_Handler::READ_MASK) != 0)
    return LxStatus::IoError("cannot register a signal pipe");
  installed_ = true;
  LxStatus status;
  for (int signalNumber : signals_) {
    wakeDescriptors[signalNumber] = pipe_.write_handle() + 1;
    if (status.ok()) status = SetHandler(signalNumber, WakeReactor);
  }
  return status;
}

ACE_HANDLE SignalPipe::get_handle() const { return pipe_.read_handle(); }

int SignalPipe::handle_input(ACE_HANDLE) {
  char drained[64];
  while (read(pipe_.read_handle(), drained, sizeof drained) > 0) {
  }
  onSignal_();
  return 0;
}

}  // namespace qet_cfgserver
