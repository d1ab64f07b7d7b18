#include "requests/ClientSession.h"

#include "log/ServerLog.h"

namespace qet_cfgserver {

LxStatus ClientSession::Subscribe(ChangeFeed* feed, const ConfigScope& scope, WatchQueue::SetFilter readable) {
  if (watch_) return LxStatus::InvalidArgument("already subscribed");
  if (owner_ != nullptr && !owner_->TakeWatcherSlot())
    return LxStatus::InvalidArgument("as many watchers as --max-watchers allows are connected");
  watch_ = std::make_unique<WatchQueue>(feed, scope, std::move(readable), owner_);
  return LxStatus::Ok();
}

void ClientSession::GiveBack() {
  if (staging_.active())
    __dlog_printf(kDlogWarning, kServerLogSource, "dropping an import under way to free client memory");
  staging_.Drop();
  if (watch_) watch_->DropAll();
}

}  // namespace qet_cfgserver
