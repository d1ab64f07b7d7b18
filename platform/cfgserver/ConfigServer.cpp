#include "ConfigServer.h"

#include <ace/UNIX_Addr.h>
#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include "Directories.h"
#include "IniImporter.h"
#include "ServerLog.h"

namespace qet_cfgserver {

namespace {

constexpr mode_t kDatabaseDirectoryMode = 0700;
constexpr mode_t kSocketMode = 0600;

}  // namespace

ConfigServer::ConfigServer() = default;

ConfigServer::~ConfigServer() { Shutdown(); }

LxStatus ConfigServer::Start(const ServerOptions& options) {
  LxStatus status = endpoint_.Claim(options.runtimeDirectory);
  if (status.ok()) status = OpenStore(options);
  for (const std::string& file : options.imports)
    if (status.ok()) status = IniImporter::Import(file, store_.get());
  if (status.ok()) status = shutdownSignal_.Install(&reactor_);
  if (status.ok()) status = Listen();
  if (!status.ok()) return status;
  __dlog_printf(kDlogNotice, kServerLogSource, "listening on %s, database %s", endpoint_.socketPath().c_str(),
                options.database.c_str());
  return LxStatus::Ok();
}

LxStatus ConfigServer::OpenStore(const ServerOptions& options) {
  LxStatus status = CreateDirectories(ParentDirectory(options.database), kDatabaseDirectoryMode);
  if (status.ok()) status = ConfigStore::Open(options.database, &store_);
  if (status.ok()) dispatcher_.reset(new RequestDispatcher(store_.get()));
  return status;
}

LxStatus ConfigServer::Listen() {
  acceptor_.reset(new ClientAcceptor(dispatcher_.get()));
  const ACE_UNIX_Addr address(endpoint_.socketPath().c_str());
  // ACE_NONBLOCK: every accepted connection is non-blocking.
  if (acceptor_->open(address, &reactor_, ACE_NONBLOCK) != 0)
    return LxStatus::IoError("cannot listen on " + endpoint_.socketPath() + ": " + strerror(errno));
  endpoint_.MarkBound();
  // bind() made the socket 0700 under the server's umask; connecting needs
  // only read and write.
  if (chmod(endpoint_.socketPath().c_str(), kSocketMode) != 0)
    return LxStatus::IoError("cannot restrict " + endpoint_.socketPath() + ": " + strerror(errno));
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
  // Closing the reactor closes every connection still registered.
  reactor_.close();
  acceptor_.reset();
  dispatcher_.reset();
  store_.reset();
}

}  // namespace qet_cfgserver
