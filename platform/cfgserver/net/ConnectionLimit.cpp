#include "net/ConnectionLimit.h"

#include <ace/Reactor.h>
#include <ace/Timer_Queue.h>

#include "log/ServerLog.h"

namespace qet_cfgserver {

const ACE_Time_Value ConnectionLimit::kBurstQuietPeriod(3);

ConnectionLimit::ConnectionLimit(std::uint32_t maxClients, ACE_Reactor* reactor) : maxClients_(maxClients) {
  this->reactor(reactor);
}

ConnectionLimit::~ConnectionLimit() {
  // A closed reactor has dropped its timers already.
  if (burstTimer_ != -1 && reactor()->timer_queue() != nullptr) reactor()->cancel_timer(burstTimer_);
  if (refusedInBurst_ != 0) LogBurstEnd();
}

bool ConnectionLimit::Admit() {
  if (open_ < maxClients_) {
    ++open_;
    return true;
  }
  CountRefusal();
  return false;
}

void ConnectionLimit::Release() { --open_; }

void ConnectionLimit::CountRefusal() {
  lastRefusal_ = reactor()->timer_queue()->gettimeofday();
  if (refusedInBurst_++ != 0) return;
  __dlog_printf(kDlogWarning, kServerLogSource,
                "%u clients connected, the limit (--max-clients): closing new connections at once", maxClients_);
  burstTimer_ = reactor()->schedule_timer(this, nullptr, kBurstQuietPeriod);
}

int ConnectionLimit::handle_timeout(const ACE_Time_Value& now, const void*) {
  const ACE_Time_Value quietSince = now - lastRefusal_;
  if (quietSince < kBurstQuietPeriod) {
    burstTimer_ = reactor()->schedule_timer(this, nullptr, kBurstQuietPeriod - quietSince);
    return 0;
  }
  burstTimer_ = -1;
  LogBurstEnd();
  return 0;
}

void ConnectionLimit::LogBurstEnd() {
  __dlog_printf(kDlogNotice, kServerLogSource, "refused %llu connections at the client limit",
                static_cast<unsigned long long>(refusedInBurst_));
  refusedInBurst_ = 0;
}

}  // namespace qet_cfgserver
