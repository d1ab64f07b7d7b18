#pragma once

#include <sys/types.h>

#include <string>

#include "common/LxStatus.h"

namespace qet_cfgserver {

// Who is at the other end of a client connection, as the kernel saw it when
// the client connected (SO_PEERCRED): never what the client says about
// itself. Access decisions and the log lines that name a client use it.
// Plain value; copy freely.
struct PeerCredentials {
  static constexpr uid_t kNoUser = static_cast<uid_t>(-1);

  uid_t uid = kNoUser;
  gid_t gid = static_cast<gid_t>(-1);
  pid_t pid = 0;
  std::string userName;  // the user database's name, or the uid in decimal
  std::string program;   // /proc/PID/comm when read, printable ASCII; "?" when unreadable

  // Root and the server's own user may always do everything.
  bool IsPrivileged(uid_t serverUser) const { return uid == 0 || uid == serverUser; }

  // "uid 65534 (nobody) pid 4242 (cfgctl)", for log lines; "the server
  // itself" without a user (a request made in process).
  std::string Describe() const;

  // The credentials of the process connected to socket, with its user's
  // name and its program's. Fails when the kernel does not tell.
  static LxStatus Read(int socket, PeerCredentials* peer);
};

}  // namespace qet_cfgserver
