#pragma once

#include <ace/Acceptor.h>
#include <ace/LSOCK_Acceptor.h>
#include <ace/Time_Value.h>

#include "access/UserConnectionLimit.h"
#include "net/ClientConnection.h"
#include "net/ConnectionLimit.h"
#include "requests/RequestDispatcher.h"

namespace qet_cfgserver {

// Accepts clients on the server's UNIX-domain socket and hands each a
// ClientConnection that shares the one dispatcher and connection limits; a
// connection past a limit is accepted and closed at once, so it never
// waits in the backlog. Accepts one connection per reactor dispatch, so a
// burst of connections takes turns with the clients already served. When
// the system has no descriptor or memory left for a connection, accepting
// pauses for kAcceptPause rather than spinning on a listener that stays
// readable. Open with ACE_NONBLOCK in the flags so every connection is
// non-blocking. Does not own the dispatcher or the limits; reactor thread
// only.
class ClientAcceptor : public ACE_Acceptor<ClientConnection, ACE_LSOCK_Acceptor> {
 public:
  ClientAcceptor(RequestDispatcher* dispatcher, ConnectionLimit* limit, UserConnectionLimit* userLimit)
      : dispatcher_(dispatcher), limit_(limit), userLimit_(userLimit) {}

  static const ACE_Time_Value kAcceptPause;

  int make_svc_handler(ClientConnection*& connection) override;
  int handle_accept_error() override;
  int handle_timeout(const ACE_Time_Value& now, const void* act) override;

 private:
  RequestDispatcher* dispatcher_;
  ConnectionLimit* limit_;
  UserConnectionLimit* userLimit_;
};

}  // namespace qet_cfgserver
