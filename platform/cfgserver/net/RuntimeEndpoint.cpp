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
#include "common/SafePath.h"

namespace qet_cfgserver {

namespace {

constexpr mode_t kRuntimeDirectoryMode = 0755;

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
  if (!status.ok()) return status;
  status = CheckSafeDirectory(runtimeDirectory, geteuid(), Owner::kRootOrUser);
  if (!status.ok()) return LxStatus::Unavailable("unsafe runtime directory: " + status.message());
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
