#pragma once

#include <ace/Dev_Poll_Reactor.h>
#include <ace/Reactor.h>
#include <signal.h>
#include <unistd.h>

#include <memory>

#include "access/AccessRules.h"
#include "access/UserConnectionLimit.h"
#include "common/LxStatus.h"
#include "net/ClientAcceptor.h"
#include "net/ConnectionContext.h"
#include "net/ConnectionLimit.h"
#include "net/LargeReplyQueue.h"
#include "net/RuntimeEndpoint.h"
#include "process/ServerOptions.h"
#include "process/ShutdownSignal.h"
#include "process/SignalPipe.h"
#include "recovery/SnapshotTimer.h"
#include "recovery/StoreKeeper.h"
#include "process/ConfirmationTimer.h"
#include "requests/AccessGate.h"
#include "requests/ConfirmationKeeper.h"
#include "requests/GroupCommit.h"
#include "requests/MemoryBudget.h"
#include "requests/RequestDispatcher.h"
#include "schema/SchemaSet.h"

namespace qet_cfgserver {

// The whole server: loads the schemas and checks the defaults against them
// (a refused default stops it before anything else), sizes its descriptor
// budget, reads the access rules, claims the socket path, checks the
// database's place and opens the store (recovering a damaged one) with its
// defaults, listens, and runs a single-threaded epoll reactor until SIGTERM
// or SIGINT, with a timer for periodic snapshots and one for the deadline
// of a change awaiting confirmation. SIGHUP reads the access file again:
// rules that read well replace the old ones from the next request on; a
// file that does not keeps the old rules and logs an ERROR saying why. What
// clients make it hold is bounded by one memory budget, and their
// connections by the client, watcher and per-user limits (see
// ConnectionLimit). Writes from clients are committed in groups: the open
// group is flushed once the reactor has no more input ready, or when it is
// full, and before stopping. Requests that may build a large reply wait
// their turn (LargeReplyQueue) for a moment the reactor has nothing else
// ready. Stop order on destruction: stop accepting, close every connection,
// write a last snapshot if anything changed, close the store, remove the
// socket file. Main thread only; one per process (it owns the stop signals
// and the descriptor limit).
class ConfigServer {
 public:
  // Descriptors kept beside the clients': standard streams, the listening
  // socket, epoll, the wake-up pipe, the database with its -wal and -shm
  // files, snapshot and recovery copies, SQLite's temporary files.
  static constexpr std::uint32_t kReservedDescriptors = 64;

  ConfigServer();
  ~ConfigServer();

  ConfigServer(const ConfigServer&) = delete;
  ConfigServer& operator=(const ConfigServer&) = delete;

  // options must have their defaults resolved.
  LxStatus Start(const ServerOptions& options);

  // Serves until a stop signal.
  LxStatus Run();

 private:
  LxStatus LoadSchemas(const ServerOptions& options);
  LxStatus OpenReactor(std::uint32_t connections);
  LxStatus ReadAccessRules(AccessRules* rules) const;
  // On SIGHUP.
  void ReloadAccessRules();
  LxStatus OpenStore(const ServerOptions& options);
  LxStatus Listen(const ServerOptions& options);
  LxStatus ScheduleSnapshots(std::uint32_t intervalSeconds);
  // Whether the open group of writes is to be committed now.
  bool GroupDue();
  // Whether a request waiting to build a large reply is to be answered now.
  bool LargeReplyDue();
  void Shutdown();

  std::unique_ptr<ACE_Dev_Poll_Reactor> epollReactor_;
  std::unique_ptr<ACE_Reactor> reactor_;
  ShutdownSignal shutdownSignal_;
  SignalPipe reloadSignal_{{SIGHUP}, [this] { ReloadAccessRules(); }};
  std::string accessFile_;
  AccessRules accessRules_{geteuid()};  // those in force; replaced whole on a reload
  AccessGate accessGate_{&accessRules_};
  RuntimeEndpoint endpoint_;
  SchemaSet schemas_;  // read at start, then only read
  std::unique_ptr<StoreKeeper> keeper_;
  ChangeFeed changeFeed_;  // outlives every connection's watch queue
  std::unique_ptr<SnapshotTimer> snapshotTimer_;
  std::unique_ptr<GroupCommit> groupCommit_;
  std::unique_ptr<ConfirmationTimer> confirmationTimer_;
  std::unique_ptr<ConfirmationKeeper> confirmations_;
  std::unique_ptr<RequestDispatcher> dispatcher_;
  std::unique_ptr<ConnectionLimit> connectionLimit_;
  std::unique_ptr<UserConnectionLimit> userConnectionLimit_;
  std::unique_ptr<MemoryBudget> budget_;  // outlives every connection's share
  LargeReplyQueue largeReplies_;           // outlives every connection in it
  ConnectionContext connectionContext_;
  std::unique_ptr<ClientAcceptor> acceptor_;
};

}  // namespace qet_cfgserver
