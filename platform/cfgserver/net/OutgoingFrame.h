#pragma once

#include <ace/LSOCK_Stream.h>

#include <cstddef>
#include <string>

#include "requests/BudgetHolder.h"

namespace qet_cfgserver {

// The bytes a connection is sending: a reply or notification frame (or a
// commit's reply after a notification under way), how much of them the
// socket took, and what they were charged to the connection's share of the
// memory budget, refunded once they are sent or dropped. Once they are, a
// buffer of at most kKeptBytes is kept for the next frame, uncharged: a
// small reply then takes nothing from the heap. Reactor thread only.
class OutgoingFrame {
 public:
  explicit OutgoingFrame(BudgetHolder* holder) : holder_(holder) {}
  ~OutgoingFrame() { Drop(); }

  OutgoingFrame(const OutgoingFrame&) = delete;
  OutgoingFrame& operator=(const OutgoingFrame&) = delete;

  // The largest buffer kept for the next frame once one is sent.
  static constexpr std::size_t kKeptBytes = 1024;
  // Empties buffer, letting go of its memory unless it is at most
  // kKeptBytes: for each buffer a connection keeps between requests.
  static void EmptyKeepingSmall(std::string* buffer);

  bool pending() const { return sent_ < bytes_.size(); }

  // Takes frame to send, charged bytes already charged to the holder.
  // Appends after bytes still pending: frames stay whole.
  void Add(std::string frame, std::size_t charged);
  // The same, leaving *frame empty with a buffer of at most kKeptBytes to
  // encode the next frame into: the kept one when nothing was pending.
  void Add(std::string* frame, std::size_t charged);

  // Sends what the socket takes now: 0 when done or when the socket is
  // full, -1 when the peer is gone.
  int Send(ACE_LSOCK_Stream& peer);

  // Lets go of the bytes, sent or not, and of their charge.
  void Drop();

 private:
  BudgetHolder* const holder_;
  std::string bytes_;
  std::size_t sent_ = 0;
  std::size_t charged_ = 0;
};

}  // namespace qet_cfgserver
