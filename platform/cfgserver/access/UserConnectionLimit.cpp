#include "access/UserConnectionLimit.h"

#include "log/ServerLog.h"

namespace qet_cfgserver {

bool UserConnectionLimit::Admit(const PeerCredentials& peer) {
  if (peer.IsPrivileged(serverUser_)) return true;
  std::uint32_t& open = open_[peer.uid];
  if (open < perUser_) {
    ++open;
    return true;
  }
  if (warnings_.StartsBurst(peer.uid, PerUserWarnings::Clock::now()))
    __dlog_printf(kDlogWarning, kServerLogSource,
                  "%s has %u connections, the limit (--max-clients-per-user): closing its new ones at once",
                  peer.Describe().c_str(), perUser_);
  return false;
}

void UserConnectionLimit::Release(const PeerCredentials& peer) {
  if (peer.IsPrivileged(serverUser_)) return;
  const auto found = open_.find(peer.uid);
  if (found == open_.end()) return;
  if (--found->second == 0) open_.erase(found);
}

}  // namespace qet_cfgserver
