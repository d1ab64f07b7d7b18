#pragma once

#include <cstddef>
#include <string>

#include "access/PeerCredentials.h"
#include "cfgwire/Messages.h"
#include "common/LxStatus.h"

namespace qet_cfgserver {

// The server's log lines about requests. Names, tags and values come from
// clients, so they reach the log only through Printable().

// Bytes made fit for a log line: printable ASCII as is, the rest as \xNN,
// cut after a bounded length.
std::string Printable(const std::string& bytes);

// Logs a committed write: who (peer, then the client name and tag it gave),
// what, how many keys changed.
void LogWrite(const wire::Request& write, const PeerCredentials& peer, std::size_t keysChanged);

// Logs a request the access rules refused peer (the first of a burst).
void LogDenied(const wire::Request& request, const PeerCredentials& peer);

// Logs a request refused before it reached the store, and why.
void LogRejected(const wire::Request& request, const LxStatus& why);

}  // namespace qet_cfgserver
