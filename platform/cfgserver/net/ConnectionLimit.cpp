#include "net/ConnectionLimit.h"

#include <ace/Reactor.h>
#include <ace/Timer_Queue.h>

#include "log/ServerLog.h"

namespace qet_cfgserver {

const ACE_Time_Value ConnectionLimit::kBurstQuietPeriod(3);
const ACE_Time_Value ConnectionLimit::kIdleBeforeEviction(1);

ConnectionLimit::ConnectionLimit(std::uint32_t maxClients, std::uint32_t maxWatchers, ACE_Reactor* reactor)
    : maxClients_(maxClients), maxWatchers_(maxWatchers) {
  this->reactor(reactor);
}

ConnectionLimit::~ConnectionLimit() {
  // A closed reactor has dropped its timers already.
  if (burstTimer_ != -1 && reactor()->timer_queue() != nullptr) reactor()->cancel_timer(burstTimer_);
  if (refusedInBurst_ + evictedInBurst_ != 0) LogBurstEnd();
}

bool ConnectionLimit::Admit(ConnectionSlot* slot) {
  if (clients_ >= maxClients_ && !EvictLongestIdle()) {
    CountInBurst(&refusedInBurst_);
    return false;
  }
  slot->kind_ = ConnectionSlot::Kind::kClient;
  ++clients_;
  return true;
}

bool ConnectionLimit::AdmitWatcher(ConnectionSlot* slot) {
  if (slot->kind_ != ConnectionSlot::Kind::kClient || watchers_ >= maxWatchers_) return false;
  Unlink(slot);
  slot->kind_ = ConnectionSlot::Kind::kWatcher;
  --clients_;
  ++watchers_;
  return true;
}

void ConnectionLimit::MarkIdle(ConnectionSlot* slot, bool idle) {
  Unlink(slot);
  if (!idle || slot->kind_ != ConnectionSlot::Kind::kClient) return;
  slot->idle_ = true;
  slot->idleSince_ = Now();
  slot->olderIdle_ = newestIdle_;
  if (newestIdle_ != nullptr) newestIdle_->newerIdle_ = slot;
  else oldestIdle_ = slot;
  newestIdle_ = slot;
}

void ConnectionLimit::Release(ConnectionSlot* slot) {
  Unlink(slot);
  if (slot->kind_ == ConnectionSlot::Kind::kClient) --clients_;
  if (slot->kind_ == ConnectionSlot::Kind::kWatcher) --watchers_;
  slot->kind_ = ConnectionSlot::Kind::kNone;
}

bool ConnectionLimit::EvictLongestIdle() {
  ConnectionSlot* oldest = oldestIdle_;
  if (oldest == nullptr || Now() - oldest->idleSince_ < kIdleBeforeEviction) return false;
  Release(oldest);
  oldest->Evict();
  CountInBurst(&evictedInBurst_);
  return true;
}

void ConnectionLimit::Unlink(ConnectionSlot* slot) {
  if (!slot->idle_) return;
  if (slot->olderIdle_ != nullptr) slot->olderIdle_->newerIdle_ = slot->newerIdle_;
  else oldestIdle_ = slot->newerIdle_;
  if (slot->newerIdle_ != nullptr) slot->newerIdle_->olderIdle_ = slot->olderIdle_;
  else newestIdle_ = slot->olderIdle_;
  slot->olderIdle_ = slot->newerIdle_ = nullptr;
  slot->idle_ = false;
}

ACE_Time_Value ConnectionLimit::Now() const { return reactor()->timer_queue()->gettimeofday(); }

void ConnectionLimit::CountInBurst(std::uint64_t* counter) {
  lastInBurst_ = Now();
  const bool starts = refusedInBurst_ + evictedInBurst_ == 0;
  ++*counter;
  if (!starts) return;
  __dlog_printf(kDlogWarning, kServerLogSource,
                "%u clients connected, the limit (--max-clients): closing idle connections for new ones, "
                "new ones when none is idle",
                maxClients_);
  burstTimer_ = reactor()->schedule_timer(this, nullptr, kBurstQuietPeriod);
}

int ConnectionLimit::handle_timeout(const ACE_Time_Value& now, const void*) {
  const ACE_Time_Value quietSince = now - lastInBurst_;
  if (quietSince < kBurstQuietPeriod) {
    burstTimer_ = reactor()->schedule_timer(this, nullptr, kBurstQuietPeriod - quietSince);
    return 0;
  }
  burstTimer_ = -1;
  LogBurstEnd();
  return 0;
}

void ConnectionLimit::LogBurstEnd() {
  __dlog_printf(kDlogNotice, kServerLogSource,
                "refused %llu connections at the client limit; closed %llu idle connections to make room",
                static_cast<unsigned long long>(refusedInBurst_), static_cast<unsigned long long>(evictedInBurst_));
  refusedInBurst_ = 0;
  evictedInBurst_ = 0;
}

}  // namespace qet_cfgserver
