#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>

#include "access/PeerCredentials.h"
#include "access/PerUserWarnings.h"

namespace qet_cfgserver {

// Counts each user's open connections against --max-clients-per-user, so
// that one user holding connections cannot take every place of
// --max-clients and shut out root or the other users. Root and the server's
// own user are not limited here. A refused user is logged at WARNING once
// per burst (PerUserWarnings). Holds one count per user with a connection
// open. Reactor thread only.
class UserConnectionLimit {
 public:
  UserConnectionLimit(std::uint32_t perUser, uid_t serverUser) : perUser_(perUser), serverUser_(serverUser) {}

  UserConnectionLimit(const UserConnectionLimit&) = delete;
  UserConnectionLimit& operator=(const UserConnectionLimit&) = delete;

  // True when peer may have one more connection, counted until
  // Release(peer); false when this one must be refused.
  bool Admit(const PeerCredentials& peer);
  void Release(const PeerCredentials& peer);

 private:
  const std::uint32_t perUser_;
  const uid_t serverUser_;
  std::map<uid_t, std::uint32_t> open_;
  PerUserWarnings warnings_;
};

}  // namespace qet_cfgserver
