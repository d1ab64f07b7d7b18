#pragma once

#include <ace/Reactor.h>
#include <ace/Select_Reactor.h>

#include <memory>

#include "ClientAcceptor.h"
#include "LxStatus.h"
#include "RequestDispatcher.h"
#include "RuntimeEndpoint.h"
#include "ServerOptions.h"
#include "ShutdownSignal.h"
#include "SnapshotTimer.h"
#include "StoreKeeper.h"

namespace qet_cfgserver {

// The whole server: claims the socket path, opens the store (recovering a
// damaged one) with its defaults, listens, and runs a single-threaded
// reactor until SIGTERM or SIGINT, with a timer for periodic snapshots.
// Stop order on destruction: stop accepting, close every connection, write
// a last snapshot if anything changed, close the store, remove the socket
// file. Main thread only; one per process (it owns the stop signals).
class ConfigServer {
 public:
  ConfigServer();
  ~ConfigServer();

  ConfigServer(const ConfigServer&) = delete;
  ConfigServer& operator=(const ConfigServer&) = delete;

  // options must have their defaults resolved.
  LxStatus Start(const ServerOptions& options);

  // Serves until a stop signal.
  LxStatus Run();

 private:
  LxStatus OpenStore(const ServerOptions& options);
  LxStatus Listen();
  LxStatus ScheduleSnapshots(std::uint32_t intervalSeconds);
  void Shutdown();

  // One thread serves every client, so the plain select reactor suffices;
  // signals need no masking around dispatch (ShutdownSignal only writes a
  // byte to a pipe), which saves two system calls per request.
  ACE_Select_Reactor selectReactor_{nullptr, nullptr, ACE_DISABLE_NOTIFY_PIPE_DEFAULT, nullptr, false};
  ACE_Reactor reactor_{&selectReactor_};
  ShutdownSignal shutdownSignal_;
  RuntimeEndpoint endpoint_;
  std::unique_ptr<StoreKeeper> keeper_;
  std::unique_ptr<SnapshotTimer> snapshotTimer_;
  std::unique_ptr<RequestDispatcher> dispatcher_;
  std::unique_ptr<ClientAcceptor> acceptor_;
};

}  // namespace qet_cfgserver
