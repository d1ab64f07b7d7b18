#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "access/PeerCredentials.h"
#include "access/Principals.h"

namespace qet_cfgserver {

// Who may read and who may write each set. Root and the server's own user
// may do everything. Anyone else may do what a rule grants: the rules of a
// set and those for every set (kEverySet) add up, and writing implies
// reading. Without rules nobody else is served. Rules only grant; there is
// no rule that takes away.
//
// A plain value, built by AccessFile and replaced whole on a reload. Reactor
// thread only.
class AccessRules {
 public:
  // The section that stands for every set.
  static constexpr const char* kEverySet = "*";

  explicit AccessRules(uid_t serverUser) : serverUser_(serverUser) {}

  // Adds who may read (or write) set, or every set.
  void GrantRead(const std::string& set, const Principals& readers);
  void GrantWrite(const std::string& set, const Principals& writers);

  bool MayRead(const PeerCredentials& peer, const std::string& set) const;
  bool MayWrite(const PeerCredentials& peer, const std::string& set) const;
  // Whether peer may read any set at all: listing the sets and watching
  // them all need it, and then show only what peer may read.
  bool MayReadSomeSet(const PeerCredentials& peer) const;
  // What acts on every set at once (a reset of everything) needs it.
  bool MayWriteEverySet(const PeerCredentials& peer) const;

  uid_t serverUser() const { return serverUser_; }

 private:
  struct SetRules {
    std::vector<Principals> readers, writers;
  };

  bool Granted(const std::vector<Principals>& grants, const PeerCredentials& peer) const;
  bool MayWriteSet(const PeerCredentials& peer, const std::string& set) const;

  uid_t serverUser_;
  std::map<std::string, SetRules> sets_;  // kEverySet among them
};

}  // namespace qet_cfgserver
