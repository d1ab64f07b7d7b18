#include "requests/ClientSession.h"

#include "log/ServerLog.h"

namespace qet_cfgserver {

LxStatus ClientSession::Subscribe(ChangeFeed* feed, const ConfigScope& scope, WatchQueue::SetFilter readable) {
  const LxStatus may = BecomeWatcher();
  if (may.ok()) watch_ = std::make_unique<WatchQueue>(feed, scope, std::move(readable), owner_);
  return may;
}

LxStatus ClientSession::SubscribeSince(ChangeFeed* feed, const ConfigScope& scope, WatchQueue::SetFilter readable,
                                       WatchQueue::History history, std::uint64_t after) {
  const LxStatus may = BecomeWatcher();
  if (may.ok())
    watch_ = std::make_unique<WatchQueue>(feed, scope, std::move(readable), owner_, std::move(history), after);
  return may;
}

LxStatus ClientSession::BecomeWatcher() {
  if (watch_) return LxStatus::InvalidArgument("already subscribed");
  if (owner_ != nullptr && !owner_->TakeWatcherSlot())
    return LxStatus::InvalidArgument("as many watchers as --max-watchers allows are connected");
  return LxStatus::Ok();
}

void ClientSession::GiveBack() {
  if (staging_.active())
    __dlog_printf(kDlogWarning, kServerLogSource, "dropping an import under way to free client memory");
  staging_.Drop();
  if (watch_) watch_->DropAll();
}

}  // namespace qet_cfgserver
