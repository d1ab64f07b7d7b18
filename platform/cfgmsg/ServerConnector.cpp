#include "cfgmsg/ServerConnector.h"

#include <ace/LSOCK_Connector.h>
#include <ace/OS_NS_errno.h>
#include <ace/OS_NS_string.h>
#include <ace/UNIX_Addr.h>

#include "cfgwire/RuntimeDirectory.h"
#include "common/Directories.h"

namespace qet_cfgserver {

ServerConnector::Result ServerConnector::Connect(const std::string& socketPath, const ACE_Time_Value& timeout,
                                                 ACE_LSOCK_Stream* stream, LxStatus* why) {
  const LxStatus trusted = wire::CheckRuntimeDirectory(ParentDirectory(socketPath));
  if (trusted.code() == LxStatus::Code::kPermissionDenied) {
    *why = trusted;
    return Result::kPermissionDenied;
  }
  if (!trusted.ok()) {
    *why = LxStatus::Unavailable("untrusted runtime directory: " + trusted.message());
    return Result::kUntrusted;
  }
  ACE_LSOCK_Connector connector;
  ACE_Time_Value left = timeout;  // ACE may write the time left into it
  if (connector.connect(*stream, ACE_UNIX_Addr(socketPath.c_str()), &left) == 0) return Result::kConnected;
  const int error = ACE_OS::last_error();
  if (error == EACCES) {
    *why = LxStatus::PermissionDenied("permission denied: " + socketPath);
    return Result::kPermissionDenied;
  }
  *why = LxStatus::Unavailable("cannot connect to " + socketPath + ": " + ACE_OS::strerror(error));
  return error == ETIME ? Result::kTimedOut : Result::kNoServer;
}

CfgItemStatus::Status ServerConnector::StatusFor(Result result) {
  switch (result) {
    case Result::kConnected: return CfgItemStatus::kSuccess;
    case Result::kTimedOut: return CfgItemStatus::kTimeout;
    case Result::kPermissionDenied: return CfgItemStatus::kAccessDenied;
    case Result::kNoServer:
    case Result::kUntrusted: return CfgItemStatus::kNoServer;
  }
  return CfgItemStatus::kNoServer;
}

}  // namespace qet_cfgserver
