#include "access/AccessRules.h"

namespace qet_cfgserver {

constexpr const char* AccessRules::kEverySet;

void AccessRules::GrantRead(const std::string& set, const Principals& readers) {
  sets_[set].readers.push_back(readers);
}

void AccessRules::GrantWrite(const std::string& set, const Principals& writers) {
  sets_[set].writers.push_back(writers);
}

bool AccessRules::Granted(const std::vector<Principals>& grants, const PeerCredentials& peer) const {
  for (const Principals& principals : grants)
    if (principals.Includes(peer)) return true;
  return false;
}

// The set's own rules only; kEverySet is the caller's to add.
bool AccessRules::MayWriteSet(const PeerCredentials& peer, const std::string& set) const {
  const auto found = sets_.find(set);
  return found != sets_.end() && Granted(found->second.writers, peer);
}

bool AccessRules::MayWrite(const PeerCredentials& peer, const std::string& set) const {
  return peer.IsPrivileged(serverUser_) || MayWriteSet(peer, set) || MayWriteSet(peer, kEverySet);
}

bool AccessRules::MayRead(const PeerCredentials& peer, const std::string& set) const {
  if (MayWrite(peer, set)) return true;
  for (const std::string& section : {set, std::string(kEverySet)}) {
    const auto found = sets_.find(section);
    if (found != sets_.end() && Granted(found->second.readers, peer)) return true;
  }
  return false;
}

bool AccessRules::MayReadSomeSet(const PeerCredentials& peer) const {
  if (peer.IsPrivileged(serverUser_)) return true;
  for (const auto& set : sets_)
    if (Granted(set.second.readers, peer) || Granted(set.second.writers, peer)) return true;
  return false;
}

bool AccessRules::MayWriteEverySet(const PeerCredentials& peer) const {
  return peer.IsPrivileged(serverUser_) || MayWriteSet(peer, kEverySet);
}

}  // namespace qet_cfgserver
