#include "cfgwire/RuntimeDirectory.h"

#include <stdlib.h>
#include <sys/un.h>
#include <unistd.h>

#include "common/SafePath.h"

namespace qet_cfgserver {
namespace wire {

std::string DefaultRuntimeDirectory() {
  const char* configured = getenv(kRuntimeDirectoryVariable);
  if (configured != nullptr && configured[0] != '\0') return configured;
  const uid_t user = geteuid();
  if (user == 0) return "/run/cfgserver";
  return "/tmp/cfgserver-" + std::to_string(user);
}

LxStatus CheckRuntimeDirectory(const std::string& directory) {
  const LxStatus status = CheckSafeDirectory(directory, geteuid(), Owner::kAnyone);
  if (status.code() == LxStatus::Code::kNotFound) return LxStatus::Ok();
  return status;
}

LxStatus EndpointPath(const std::string& directory, const std::string& endpoint, std::string* path) {
  if (endpoint.empty() || endpoint.find('/') != std::string::npos)
    return LxStatus::InvalidArgument("invalid endpoint name '" + endpoint + "'");
  std::string candidate = directory.empty() ? endpoint : directory + "/" + endpoint;
  if (candidate.size() >= sizeof(sockaddr_un{}.sun_path))
    return LxStatus::InvalidArgument("socket path '" + candidate + "' is too long for a UNIX socket");
  *path = candidate;
  return LxStatus::Ok();
}

}  // namespace wire
}  // namespace qet_cfgserver
