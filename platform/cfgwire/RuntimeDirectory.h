#pragma once

#include <string>

#include "common/LxStatus.h"

namespace qet_cfgserver {
namespace wire {

// The environment variable that names the server's runtime directory.
constexpr const char* kRuntimeDirectoryVariable = "CFGSERVER_RUNTIME_DIR";

// The endpoint the server listens at: its socket's name in the runtime
// directory, and the name its clients ask for. (The console names it on its
// own, as it always has.)
constexpr const char* kServerEndpoint = "CfgServer-ReadFifo";

// The runtime directory holding the server's socket: $CFGSERVER_RUNTIME_DIR
// when set and not empty; otherwise /run/cfgserver for root and
// /tmp/cfgserver-<uid> for anyone else.
std::string DefaultRuntimeDirectory();

// Whether this process may trust directory to hold the server's socket: the
// rules of common/SafePath.h for its effective user, whoever owns the
// directory. Ok also when nothing is there (no server answers then);
// PermissionDenied when this user may not look; Unavailable with the path
// and the reason when someone else could have planted it or can change it.
LxStatus CheckRuntimeDirectory(const std::string& directory);

// The socket file of endpoint inside directory. Fails when the endpoint name
// is empty or holds a '/', or when the path does not fit a UNIX socket address.
LxStatus EndpointPath(const std::string& directory, const std::string& endpoint, std::string* path);

}  // namespace wire
}  // namespace qet_cfgserver
