#include "ClientAcceptor.h"

namespace qet_cfgserver {

int ClientAcceptor::make_svc_handler(ClientConnection*& connection) {
  if (connection == nullptr) connection = new ClientConnection(dispatcher_, limit_);
  connection->reactor(reactor());
  return 0;
}

}  // namespace qet_cfgserver
