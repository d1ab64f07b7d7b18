#include "net/ClientAcceptor.h"

#include <errno.h>
#include <string.h>

#include "log/ServerLog.h"

namespace qet_cfgserver {

namespace {

bool OutOfResources(int error) { return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM; }

}  // namespace

const ACE_Time_Value ClientAcceptor::kAcceptPause(1);

int ClientAcceptor::make_svc_handler(ClientConnection*& connection) {
  if (connection == nullptr) connection = new ClientConnection(context_);
  connection->reactor(reactor());
  return 0;
}

int ClientAcceptor::handle_accept_error() {
  if (!OutOfResources(errno)) return 0;
  __dlog_printf(kDlogWarning, kServerLogSource, "cannot accept a connection (%s): pausing accepts for %ld s",
                strerror(errno), static_cast<long>(kAcceptPause.sec()));
  // Unregistered rather than suspended: the epoll reactor resumes a handler
  // after its upcall.
  reactor()->remove_handler(this, ACE_Event_Handler::ACCEPT_MASK | ACE_Event_Handler::DONT_CALL);
  reactor()->schedule_timer(this, nullptr, kAcceptPause);
  return 0;
}

int ClientAcceptor::handle_timeout(const ACE_Time_Value&, const void*) {
  reactor()->register_handler(this, ACE_Event_Handler::ACCEPT_MASK);
  return 0;
}

}  // namespace qet_cfgserver
