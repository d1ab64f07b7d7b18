#pragma once

#include <ace/Acceptor.h>
#include <ace/LSOCK_Acceptor.h>
#include <ace/Time_Value.h>

#include "net/ClientConnection.h"
#include "net/ConnectionContext.h"

namespace qet_cfgserver {

// Accepts clients on the server's UNIX-domain socket and hands each a
// ClientConnection that shares the one context (dispatcher, connection
// limits, memory budget); a connection a limit refuses is accepted and
// closed at once, so it never waits in the backlog. Accepts one connection
// per reactor dispatch, so a burst of connections takes turns with the
// clients already served. When the system has no descriptor or memory
// left for a connection, accepting pauses for kAcceptPause rather than
// spinning on a listener that stays readable. Open with ACE_NONBLOCK in the
// flags so every connection is non-blocking. Does not own the context;
// reactor thread only.
class ClientAcceptor : public ACE_Acceptor<ClientConnection, ACE_LSOCK_Acceptor> {
 public:
  explicit ClientAcceptor(const ConnectionContext* context) : context_(context) {}

  static const ACE_Time_Value kAcceptPause;

  int make_svc_handler(ClientConnection*& connection) override;
  int handle_accept_error() override;
  int handle_timeout(const ACE_Time_Value& now, const void* act) override;

 private:
  const ConnectionContext* context_;
};

}  // namespace qet_cfgserver
