#include "ConfigServer.h"

#include <ace/UNIX_Addr.h>
#include <errno.h>
#include <string.h>

#include "ServerLog.h"

namespace qet_cfgserver {

ConfigServer::ConfigServer() = default;

ConfigServer::~ConfigServer() { Shutdown(); }

LxStatus ConfigServer::Start(const ServerOptions& options) {
  LxStatus status = endpoint_.Claim(options.runtimeDirectory);
  if (status.ok()) status = OpenStore(options);
  if (status.ok()) status = shutdownSignal_.Install(&reactor_);
  if (status.ok()) status = Listen();
  if (status.ok()) status = ScheduleSnapshots(options.snapshotIntervalSeconds);
  if (!status.ok()) return status;
  __dlog_printf(kDlogNotice, kServerLogSource, "listening on %s, database %s", endpoint_.socketPath().c_str(),
                options.database.c_str());
  return LxStatus::Ok();
}

LxStatus ConfigServer::OpenStore(const ServerOptions& options) {
  keeper_.reset(new StoreKeeper(StoreSettings{options.database, options.imports, nullptr}));
  LxStatus status = keeper_->Open();
  if (status.ok()) dispatcher_.reset(new RequestDispatcher(keeper_.get()));
  return status;
}

LxStatus ConfigServer::ScheduleSnapshots(std::uint32_t intervalSeconds) {
  if (intervalSeconds == 0) return LxStatus::Ok();
  snapshotTimer_.reset(new SnapshotTimer(keeper_.get()));
  const ACE_Time_Value interval(static_cast<time_t>(intervalSeconds));
  if (reactor_.schedule_timer(snapshotTimer_.get(), nullptr, interval, interval) == -1)
    return LxStatus::IoError(std::string("cannot schedule snapshots: ") + strerror(errno));
  return LxStatus::Ok();
}

LxStatus ConfigServer::Listen() {
  acceptor_.reset(new ClientAcceptor(dispatcher_.get()));
  const ACE_UNIX_Addr address(endpoint_.socketPath().c_str());
  // ACE_NONBLOCK: every accepted connection is non-blocking.
  if (acceptor_->open(address, &reactor_, ACE_NONBLOCK) != 0)
    return LxStatus::IoError("cannot listen on " + endpoint_.socketPath() + ": " + strerror(errno));
  endpoint_.MarkBound();
  return LxStatus::Ok();
}

LxStatus ConfigServer::Run() {
  // A stop signal interrupts the wait (EINTR) before its pipe byte is seen;
  // the loop goes round once more to read it.
  while (!shutdownSignal_.requested()) {
    if (reactor_.handle_events() < 0 && errno != EINTR)
      return LxStatus::IoError(std::string("the event loop failed: ") + strerror(errno));
  }
  __dlog_printf(kDlogNotice, kServerLogSource, "stopping");
  return LxStatus::Ok();
}

void ConfigServer::Shutdown() {
  if (acceptor_) acceptor_->close();
  reactor_.remove_handler(&shutdownSignal_, ACE_Event_Handler::READ_MASK | ACE_Event_Handler::DONT_CALL);
  if (snapshotTimer_) reactor_.cancel_timer(snapshotTimer_.get());
  // Closing the reactor closes every connection still registered.
  reactor_.close();
  acceptor_.reset();
  dispatcher_.reset();
  if (keeper_) keeper_->Close();
  keeper_.reset();
  snapshotTimer_.reset();
}

}  // namespace qet_cfgserver
