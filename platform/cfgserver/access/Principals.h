#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "access/AccountDirectory.h"
#include "access/PeerCredentials.h"
#include "common/LxStatus.h"

namespace qet_cfgserver {

// The users one access rule names, as written after "read =" or "write =":
// a comma-separated list of user names, numeric uids, @group names and *
// (everyone). A peer belongs to @group when it is the peer's primary group
// or the group database lists the peer's user. Plain value.
class Principals {
 public:
  // Parses list, looking names up in accounts. Fails, saying which item,
  // on an empty list or item, an unknown user or group, or a uid out of range.
  static LxStatus Parse(const std::string& list, const AccountDirectory& accounts, Principals* principals);

  bool Includes(const PeerCredentials& peer) const;

 private:
  LxStatus AddItem(const std::string& item, const AccountDirectory& accounts);

  bool everyone_ = false;
  std::vector<uid_t> users_;
  std::vector<AccountDirectory::Group> groups_;
};

}  // namespace qet_cfgserver
