#pragma once

#include <ace/Time_Value.h>

#include <deque>
#include <string>

#include "cfgwire/Frame.h"

namespace qet_cfgserver {

// Connections whose next request may have a large reply, or one costly to
// build (a listing, a list of changes, an export asked for whole, an
// import's preview, a history, a revision shown, a diff) wait here for
// their turn. Building such a reply holds the one reactor thread for up to
// a few hundred milliseconds, so these take turns with cheaper work: the
// oldest is answered when the reactor has nothing else ready, or when no
// large reply was built for kLongestWait. So a point read waits behind one
// large reply at most, not behind a queue of them, and none waits for ever.
// A waiting connection holds only its request.
//
// Reactor thread only; does not own the connections, which leave the queue
// when they close.
class LargeReplyQueue {
 public:
  // A connection waiting for its turn.
  class Waiter {
   public:
    // The turn has come: answer the request that waited.
    virtual void AnswerInTurn() = 0;

   protected:
    ~Waiter() = default;
  };

  static const ACE_Time_Value kLongestWait;

  LargeReplyQueue() = default;
  LargeReplyQueue(const LargeReplyQueue&) = delete;
  LargeReplyQueue& operator=(const LargeReplyQueue&) = delete;

  // Whether the request in body may be answered with a large reply.
  static bool MayBeLarge(const wire::FrameHeader& header, const std::string& body);

  void Add(Waiter* waiter) { waiting_.push_back(waiter); }
  void Remove(Waiter* waiter);

  bool empty() const { return waiting_.empty(); }
  // Whether the oldest is to be answered now, with other work ready or not.
  bool Due(bool otherWorkReady) const;

  // Answers the oldest; it may come back for a next request.
  void AnswerOldest();

 private:
  std::deque<Waiter*> waiting_;
  ACE_Time_Value lastAnswered_;  // when the last large reply was built
};

}  // namespace qet_cfgserver
