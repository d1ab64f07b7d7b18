#pragma once

#include <ace/Time_Value.h>

namespace qet_cfgserver {

class ConnectionLimit;

// A connection's place among those ConnectionLimit counts: as a client or
// as a watcher and, while the connection has nothing in flight, in the
// limit's list of idle connections. The list is intrusive, so marking a
// connection idle or busy allocates nothing. The connection derives from
// it; the limit fills it in. Reactor thread only.
class ConnectionSlot {
 public:
  ConnectionSlot() = default;
  ConnectionSlot(const ConnectionSlot&) = delete;
  ConnectionSlot& operator=(const ConnectionSlot&) = delete;

  // The limit gave this place to a newcomer and no longer counts the
  // connection: close it soon. Must not destroy it at once (the limit is
  // still at work).
  virtual void Evict() = 0;

 protected:
  ~ConnectionSlot() = default;

 private:
  friend class ConnectionLimit;

  enum class Kind { kNone, kClient, kWatcher };

  Kind kind_ = Kind::kNone;
  bool idle_ = false;
  ACE_Time_Value idleSince_;
  ConnectionSlot* olderIdle_ = nullptr;
  ConnectionSlot* newerIdle_ = nullptr;
};

}  // namespace qet_cfgserver
