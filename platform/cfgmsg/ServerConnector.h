#pragma once

#include <ace/LSOCK_Stream.h>
#include <ace/Time_Value.h>

#include <string>

#include "cfgwire/CfgItemStatus.h"
#include "common/LxStatus.h"

namespace qet_cfgserver {

// How the client library reaches the server's socket: first it checks that
// the socket's directory is one this client may trust
// (cfgwire/RuntimeDirectory.h), so a socket in a directory someone else
// could have planted gets nothing, not even a connection; then it connects.
// Handles and watches both connect through it. Stateless; any thread.
class ServerConnector {
 public:
  enum class Result {
    kConnected,
    kNoServer,          // nothing listens at the path
    kTimedOut,          // the server did not take the connection in time
    kPermissionDenied,  // the socket, or a directory on the way, refuses this user
    kUntrusted,         // the runtime directory breaks the safe-path rules
  };

  // Connects stream to socketPath, waiting at most timeout. On failure
  // *why says what happened, naming the path.
  static Result Connect(const std::string& socketPath, const ACE_Time_Value& timeout, ACE_LSOCK_Stream* stream,
                        LxStatus* why);

  // The status a request gets when the connection failed so.
  static CfgItemStatus::Status StatusFor(Result result);
};

}  // namespace qet_cfgserver
