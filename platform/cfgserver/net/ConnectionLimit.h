#pragma once

#include <ace/Event_Handler.h>
#include <ace/Time_Value.h>

#include <cstdint>

#include "net/ConnectionSlot.h"

namespace qet_cfgserver {

// Counts the open connections: clients against --max-clients, watchers
// (connections that subscribed) against --max-watchers.
//
// Idle connections never lock clients out: at the client limit a newcomer
// takes the place of the connection idle the longest, which is closed,
// provided it has been idle for kIdleBeforeEviction (so a client that has
// just connected gets the time to send its request). Idle means nothing
// in flight: no request, reply, commit awaited, import or subscription.
// The client library reconnects on its next request to a connection the
// server closed. Only when no connection is idle is the newcomer refused:
// closed at once.
//
// Refusals and evictions come in bursts (a client retrying, a flood), so
// the log gets one WARNING when a burst starts and one NOTICE with the
// numbers once nothing happened at the limit for kBurstQuietPeriod (or when
// the server stops), never a line per connection.
//
// Uses a reactor timer for the end of a burst. Reactor thread only; must
// outlive the connections it counts.
class ConnectionLimit : public ACE_Event_Handler {
 public:
  static const ACE_Time_Value kBurstQuietPeriod;
  static const ACE_Time_Value kIdleBeforeEviction;

  ConnectionLimit(std::uint32_t maxClients, std::uint32_t maxWatchers, ACE_Reactor* reactor);
  ~ConnectionLimit() override;

  ConnectionLimit(const ConnectionLimit&) = delete;
  ConnectionLimit& operator=(const ConnectionLimit&) = delete;

  // Counts slot as a client (until Release()), evicting an idle connection
  // at the limit; false when the newcomer must be refused.
  bool Admit(ConnectionSlot* slot);

  // The client becomes a watcher, counted against the watchers' limit and
  // never evicted; false when that limit is reached (it stays a client).
  bool AdmitWatcher(ConnectionSlot* slot);

  // The connection is idle from now on, or busy. Called on every change of
  // activity, so an idle connection that did something moves to the end of
  // the line.
  void MarkIdle(ConnectionSlot* slot, bool idle);

  // Stops counting slot: its connection closes.
  void Release(ConnectionSlot* slot);

  int handle_timeout(const ACE_Time_Value& now, const void* act) override;

 private:
  // Closes the connection idle the longest, if it has been long enough.
  bool EvictLongestIdle();
  void Unlink(ConnectionSlot* slot);
  // Counts a refusal or eviction in the current burst, starting one.
  void CountInBurst(std::uint64_t* counter);
  void LogBurstEnd();
  ACE_Time_Value Now() const;

  const std::uint32_t maxClients_;
  const std::uint32_t maxWatchers_;
  std::uint32_t clients_ = 0;
  std::uint32_t watchers_ = 0;
  ConnectionSlot* oldestIdle_ = nullptr;
  ConnectionSlot* newestIdle_ = nullptr;
  std::uint64_t refusedInBurst_ = 0;
  std::uint64_t evictedInBurst_ = 0;
  ACE_Time_Value lastInBurst_;
  long burstTimer_ = -1;
};

}  // namespace qet_cfgserver
