#include "process/ConfigServer.h"

#include <ace/UNIX_Addr.h>
#include <errno.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include "access/AccessFile.h"
#include "log/ServerLog.h"
#include "process/DatabasePlace.h"
#include "schema/DefaultsCheck.h"

namespace qet_cfgserver {

namespace {

// Every local user may connect; the server decides by the peer's credentials.
constexpr mode_t kSocketMode = 0666;
// Connections that may wait to be accepted. ACE's default of 5 makes a
// burst of non-blocking connects fail with EAGAIN after a handful.
constexpr int kListenBacklog = 128;
constexpr std::size_t kBytesPerMiB = 1024 * 1024;

// The epoll reactor keeps its handlers in a table indexed by descriptor, and
// a descriptor past the table cannot be registered. So the process may open
// exactly as many descriptors as the table holds: the soft limit is set to
// that (raised up to the hard limit, or lowered; the hard limit is often far
// larger than a table worth allocating). Clients and watchers never exceed
// --max-clients and --max-watchers, the acceptor holds at most one more
// while refusing it (or while the connection it replaces closes), and the
// rest of the budget is reserved, so accept() never fails for want of
// descriptors.
LxStatus SetDescriptorLimit(rlim_t descriptors) {
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
    return LxStatus::IoError(std::string("cannot read the descriptor limit: ") + strerror(errno));
  if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < descriptors)
    return LxStatus::Unavailable("--max-clients and --max-watchers need " + std::to_string(descriptors) +
                                 " file descriptors, over the hard limit of " + std::to_string(limit.rlim_max));
  limit.rlim_cur = descriptors;
  if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
    return LxStatus::IoError(std::string("cannot set the descriptor limit: ") + strerror(errno));
  return LxStatus::Ok();
}

}  // namespace

ConfigServer::ConfigServer() = default;

ConfigServer::~ConfigServer() { Shutdown(); }

LxStatus ConfigServer::Start(const ServerOptions& options) {
  accessFile_ = options.accessFile;
  LxStatus status = LoadSchemas(options);
  if (status.ok()) status = ReadAccessRules(&accessRules_);
  if (status.ok()) status = OpenReactor(options.maxClients + options.maxWatchers);
  if (status.ok()) status = endpoint_.Claim(options.runtimeDirectory);
  if (status.ok()) status = PrepareDatabasePlace(options.database);
  if (status.ok()) status = OpenStore(options);
  if (status.ok()) status = shutdownSignal_.Install(reactor_.get());
  if (status.ok()) status = reloadSignal_.Install(reactor_.get());
  if (status.ok()) status = Listen(options);
  if (status.ok()) status = ScheduleSnapshots(options.snapshotIntervalSeconds);
  if (!status.ok()) return status;
  __dlog_printf(kDlogNotice, kServerLogSource,
                "listening on %s, database %s, at most %u clients, %u per user, and %u watchers, holding %u MiB; %s",
                endpoint_.socketPath().c_str(), options.database.c_str(), options.maxClients,
                options.maxClientsPerUser, options.maxWatchers, options.maxClientMemoryMiB,
                accessFile_.empty() ? "no access file (only root and this user are served)"
                                    : ("access rules from " + accessFile_).c_str());
  return LxStatus::Ok();
}

LxStatus ConfigServer::LoadSchemas(const ServerOptions& options) {
  for (const std::string& path : options.schemas) {
    LxStatus status = schemas_.Load(path);
    if (!status.ok()) return status;
  }
  for (const std::string& path : options.imports) {
    LxStatus status = DefaultsCheck::CheckFile(schemas_, path);
    if (!status.ok()) return status;
  }
  return LxStatus::Ok();
}

LxStatus ConfigServer::ReadAccessRules(AccessRules* rules) const {
  if (accessFile_.empty()) return LxStatus::Ok();
  return AccessFile::Read(accessFile_, geteuid(), AccountDirectory::System(), rules);
}

void ConfigServer::ReloadAccessRules() {
  if (accessFile_.empty()) {
    __dlog_printf(kDlogNotice, kServerLogSource, "SIGHUP: no access file (--access) to read again");
    return;
  }
  AccessRules reloaded(geteuid());
  const LxStatus status = ReadAccessRules(&reloaded);
  if (!status.ok()) {
    __dlog_printf(kDlogError, kServerLogSource, "%s; the rules in force stay", status.message().c_str());
    return;
  }
  accessRules_ = reloaded;
  __dlog_printf(kDlogNotice, kServerLogSource, "access rules read again from %s", accessFile_.c_str());
}

LxStatus ConfigServer::OpenReactor(std::uint32_t connections) {
  const std::uint32_t descriptors = connections + 1 + kReservedDescriptors;
  LxStatus status = SetDescriptorLimit(descriptors);
  if (!status.ok()) return status;
  // restart: an interrupted epoll_wait is resumed quietly; a stop signal is
  // seen through its pipe. One thread serves every client: no notify pipe,
  // and no signal masking around dispatch (ShutdownSignal only writes a byte
  // to a pipe), which saves two system calls per event.
  epollReactor_.reset(new ACE_Dev_Poll_Reactor(descriptors, true, nullptr, nullptr, 1, nullptr, 0));
  if (!epollReactor_->initialized()) return LxStatus::IoError("cannot open the epoll reactor");
  reactor_.reset(new ACE_Reactor(epollReactor_.get()));
  return LxStatus::Ok();
}

LxStatus ConfigServer::OpenStore(const ServerOptions& options) {
  keeper_.reset(new StoreKeeper(StoreSettings{options.database, options.imports, nullptr, options.historyRevisions}));
  LxStatus status = keeper_->Open();
  if (!status.ok()) return status;
  groupCommit_.reset(new GroupCommit(keeper_.get(), &changeFeed_));
  confirmationTimer_.reset(new ConfirmationTimer(reactor_.get(), [this]() { confirmations_->Expire(); }));
  confirmations_.reset(new ConfirmationKeeper(keeper_.get(), &changeFeed_, [this](std::optional<std::int64_t> deadline) {
    confirmationTimer_->Arm(deadline);
  }));
  confirmations_->Refresh();
  dispatcher_.reset(new RequestDispatcher(keeper_.get(), &changeFeed_, groupCommit_.get(), &accessGate_, &schemas_,
                                          confirmations_.get()));
  return status;
}

LxStatus ConfigServer::ScheduleSnapshots(std::uint32_t intervalSeconds) {
  if (intervalSeconds == 0) return LxStatus::Ok();
  snapshotTimer_.reset(new SnapshotTimer(keeper_.get()));
  const ACE_Time_Value interval(static_cast<time_t>(intervalSeconds));
  if (reactor_->schedule_timer(snapshotTimer_.get(), nullptr, interval, interval) == -1)
    return LxStatus::IoError(std::string("cannot schedule snapshots: ") + strerror(errno));
  return LxStatus::Ok();
}

LxStatus ConfigServer::Listen(const ServerOptions& options) {
  connectionLimit_.reset(new ConnectionLimit(options.maxClients, options.maxWatchers, reactor_.get()));
  userConnectionLimit_.reset(new UserConnectionLimit(options.maxClientsPerUser, geteuid()));
  budget_.reset(new MemoryBudget(std::size_t(options.maxClientMemoryMiB) * kBytesPerMiB));
  connectionContext_ =
      ConnectionContext{dispatcher_.get(), connectionLimit_.get(), userConnectionLimit_.get(), budget_.get(),
                        &largeReplies_, ACE_Time_Value(static_cast<time_t>(options.importTimeoutSeconds))};
  acceptor_.reset(new ClientAcceptor(&connectionContext_));
  const ACE_UNIX_Addr address(endpoint_.socketPath().c_str());
  // ACE_NONBLOCK: every accepted connection is non-blocking. No select
  // loop: one accept per dispatch (see ClientAcceptor).
  if (acceptor_->open(address, reactor_.get(), ACE_NONBLOCK, 0) != 0)
    return LxStatus::IoError("cannot listen on " + endpoint_.socketPath() + ": " + strerror(errno));
  endpoint_.MarkBound();
  // ACE_Acceptor listens with ACE's default backlog; listen() again on a
  // listening socket only changes its backlog.
  if (listen(acceptor_->acceptor().get_handle(), kListenBacklog) != 0)
    return LxStatus::IoError("cannot set the listen backlog: " + std::string(strerror(errno)));
  // bind() made the socket 0700 under the server's umask; connecting needs
  // only write, which everyone gets.
  if (chmod(endpoint_.socketPath().c_str(), kSocketMode) != 0)
    return LxStatus::IoError("cannot restrict " + endpoint_.socketPath() + ": " + strerror(errno));
  return LxStatus::Ok();
}

LxStatus ConfigServer::Run() {
  while (!shutdownSignal_.requested()) {
    // Before waiting: answering a group may have started the next one.
    if (GroupDue()) {
      groupCommit_->Flush();
      continue;
    }
    if (LargeReplyDue()) {
      largeReplies_.AnswerOldest();
      continue;
    }
    if (reactor_->handle_events() < 0 && errno != EINTR)
      return LxStatus::IoError(std::string("the event loop failed: ") + strerror(errno));
  }
  groupCommit_->Flush();
  __dlog_printf(kDlogNotice, kServerLogSource, "stopping");
  return LxStatus::Ok();
}

bool ConfigServer::GroupDue() {
  if (!groupCommit_->pending()) return false;
  // The reactor takes one event per call; a ready one is kept for the next
  // call. Writes arriving meanwhile join the group.
  return groupCommit_->full() || reactor_->work_pending(ACE_Time_Value::zero) <= 0;
}

bool ConfigServer::LargeReplyDue() {
  if (largeReplies_.empty()) return false;
  return largeReplies_.Due(reactor_->work_pending(ACE_Time_Value::zero) > 0);
}

void ConfigServer::Shutdown() {
  if (acceptor_) acceptor_->close();
  if (reactor_) {
    // A closed epoll reactor must not be asked again.
    shutdownSignal_.LeaveReactor();
    reloadSignal_.LeaveReactor();
    if (snapshotTimer_) reactor_->cancel_timer(snapshotTimer_.get());
    if (confirmationTimer_) confirmationTimer_->Arm(std::nullopt);
    // Closing the reactor closes every connection still registered.
    reactor_->close();
  }
  acceptor_.reset();
  budget_.reset();
  connectionLimit_.reset();
  userConnectionLimit_.reset();
  dispatcher_.reset();
  confirmations_.reset();
  confirmationTimer_.reset();
  groupCommit_.reset();
  if (keeper_) keeper_->Close();
  keeper_.reset();
  snapshotTimer_.reset();
}

}  // namespace qet_cfgserver
