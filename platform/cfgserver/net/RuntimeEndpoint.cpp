#include "net/RuntimeEndpoint.h"

#include <ace/LSOCK_Connector.h>
#include <ace/LSOCK_Stream.h>
#include <ace/UNIX_Addr.h>
#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cfgwire/RuntimeDirectory.h"
#include "common/Directories.h"

namespace qet_cfgserver {

namespace {

constexpr mode_t kRuntimeDirectoryMode = 0700;

// Clients trust whatever listens in the runtime directory, so nobody else
// may be able to put a socket there.
LxStatus CheckPrivate(const std::string& directory) {
  struct stat owner;
  if (stat(directory.c_str(), &owner) != 0)
    return LxStatus::IoError("cannot examine " + directory + ": " + strerror(errno));
  if (owner.st_uid != geteuid()) return LxStatus::Unavailable(directory + " belongs to another user");
  if ((owner.st_mode & (S_IWGRP | S_IWOTH)) != 0) return LxStatus::Unavailable(directory + " is writable by others");
  return LxStatus::Ok();
}

bool ServerAnswers(const std::string& path) {
  ACE_LSOCK_Stream stream;
  ACE_LSOCK_Connector connector;
  if (connector.connect(stream, ACE_UNIX_Addr(path.c_str())) != 0) return false;
  stream.close();
  return true;
}

}  // namespace

RuntimeEndpoint::~RuntimeEndpoint() {
  if (bound_) unlink(socketPath_.c_str());
}

LxStatus RuntimeEndpoint::Claim(const std::string& runtimeDirectory) {
  LxStatus status = CreateDirectories(runtimeDirectory, kRuntimeDirectoryMode);
  if (status.ok()) status = CheckPrivate(runtimeDirectory);
  if (!status.ok()) return status;
  status = wire::EndpointPath(runtimeDirectory, wire::kServerEndpoint, &socketPath_);
  if (!status.ok()) return status;

  struct stat existing;
  if (lstat(socketPath_.c_str(), &existing) != 0) return LxStatus::Ok();
  if (!S_ISSOCK(existing.st_mode)) return LxStatus::Unavailable(socketPath_ + " exists and is not a socket");
  if (ServerAnswers(socketPath_))
    return LxStatus::Unavailable("another server is already listening on " + socketPath_);
  if (unlink(socketPath_.c_str()) != 0)
    return LxStatus::IoError("cannot remove the stale socket " + socketPath_ + ": " + strerror(errno));
  return LxStatus::Ok();
}

}  // namespace qet_cfgserver
