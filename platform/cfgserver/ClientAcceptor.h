#pragma once

#include <ace/Acceptor.h>
#include <ace/LSOCK_Acceptor.h>

#include "ClientConnection.h"
#include "RequestDispatcher.h"

namespace qet_cfgserver {

// Accepts clients on the server's UNIX-domain socket and hands each a
// ClientConnection that shares the one dispatcher. Open with ACE_NONBLOCK
// in the flags so every connection is non-blocking. Does not own the
// dispatcher; reactor thread only.
class ClientAcceptor : public ACE_Acceptor<ClientConnection, ACE_LSOCK_Acceptor> {
 public:
  explicit ClientAcceptor(RequestDispatcher* dispatcher) : dispatcher_(dispatcher) {}

  int make_svc_handler(ClientConnection*& connection) override;

 private:
  RequestDispatcher* dispatcher_;
};

}  // namespace qet_cfgserver
