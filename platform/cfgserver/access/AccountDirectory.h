#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace qet_cfgserver {

// Finds the users and groups an access file names. System() asks the
// system's user and group databases; tests bring their own. The names are
// looked up when the file is read (at start and on SIGHUP), so a user or
// group added later counts from the next reload.
class AccountDirectory {
 public:
  struct Group {
    gid_t gid;
    std::vector<uid_t> members;  // the users the group database lists (beside those whose primary group it is)
  };

  virtual ~AccountDirectory() = default;

  // False when there is no such user or group.
  virtual bool FindUser(const std::string& name, uid_t* uid) const = 0;
  virtual bool FindGroup(const std::string& name, Group* group) const = 0;

  // getpwnam_r and getgrnam_r; any thread.
  static const AccountDirectory& System();
};

}  // namespace qet_cfgserver
