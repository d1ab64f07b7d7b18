#pragma once

#include <ace/Event_Handler.h>
#include <ace/Time_Value.h>

#include <cstdint>

namespace qet_cfgserver {

// Counts the open client connections against --max-clients. Past the limit
// the acceptor closes each new connection at once. Refusals come in bursts
// (a client retrying, a flood), so the log gets one WARNING when a burst
// starts and one NOTICE with the number refused once no connection was
// refused for kBurstQuietPeriod (or when the server stops), never a line
// per connection.
//
// Uses a reactor timer for the end of a burst. Reactor thread only; must
// outlive the connections it counts.
class ConnectionLimit : public ACE_Event_Handler {
 public:
  static const ACE_Time_Value kBurstQuietPeriod;

  ConnectionLimit(std::uint32_t maxClients, ACE_Reactor* reactor);
  ~ConnectionLimit() override;

  ConnectionLimit(const ConnectionLimit&) = delete;
  ConnectionLimit& operator=(const ConnectionLimit&) = delete;

  // True when one more client fits (it is counted until Release()); false
  // when the connection must be refused.
  bool Admit();
  void Release();

  int handle_timeout(const ACE_Time_Value& now, const void* act) override;

 private:
  void CountRefusal();
  void LogBurstEnd();

  const std::uint32_t maxClients_;
  std::uint32_t open_ = 0;
  std::uint64_t refusedInBurst_ = 0;
  ACE_Time_Value lastRefusal_;
  long burstTimer_ = -1;
};

}  // namespace qet_cfgserver
