#pragma once

#include <ace/LSOCK_Stream.h>
#include <ace/Svc_Handler.h>
#include <ace/Synch_Traits.h>
#include <ace/Time_Value.h>

#include <cstdint>
#include <string>

#include "cfgwire/Frame.h"
#include "net/ConnectionContext.h"
#include "net/ConnectionSlot.h"
#include "net/OutgoingFrame.h"
#include "requests/ClientSession.h"
#include "requests/CommitWaiter.h"
#include "requests/SessionOwner.h"

namespace qet_cfgserver {

// One client on the server's socket, driven by the reactor thread; the
// socket is non-blocking. Reads whatever has arrived into a frame assembler
// and answers each complete frame in turn. A reply the socket cannot take
// at once waits, sent from handle_output; meanwhile the connection neither
// reads nor answers more, so a client that never reads costs the server at
// most one reply. A bad frame header, or one announcing more than the
// largest legal request, closes only this connection, before its body is
// buffered.
//
// What one client can make the server hold is bounded: one request frame
// (plus one read's worth of bytes) for at most kStallTimeout; small buffers
// kept for the next request and reply (OutgoingFrame::kKeptBytes each); and
// what it holds in the memory budget (its reply, its notifications, its
// import), which the budget may take back (SessionOwner::GiveBack()). A
// connection that holds an incomplete request that long, or whose reply is
// not taken that long, is closed with a WARNING; an import with no request
// for the context's import timeout is dropped. A reply the budget cannot
// hold is replaced by a server error.
//
// A write the dispatcher hands to the group commit is answered through
// Answer() once committed, and a request that may have a large reply
// through AnswerInTurn() when the LargeReplyQueue gives it its turn; until
// then the connection answers nothing more, so its replies keep the order
// of its requests, and reads only until it holds bytes of a next request
// (then it watches only for a hang-up).
//
// A subscribed connection also sends the notifications its ClientSession
// queues, each after the frame before it is fully sent; the queue's own
// bound replaces the unread-reply timeout for it.
//
// open() reads who connected from the kernel (PeerCredentials), for the
// dispatcher's access decisions and log lines. Counted by the
// UserConnectionLimit and the ConnectionLimit from open() until
// destruction, by the latter as a client and, once subscribed, as a
// watcher; while it has nothing in flight it is idle there, and may be
// closed to make room (Evict()). open() fails when a limit is reached, and
// the acceptor then closes the connection. Created by ClientAcceptor;
// deletes itself when closed (ACE_Svc_Handler), always from the reactor's
// own turn: the budget and the limit only ask it to close soon.
class ClientConnection : public ACE_Svc_Handler<ACE_LSOCK_Stream, ACE_NULL_SYNCH>,
                         public CommitWaiter,
                         public LargeReplyQueue::Waiter,
                         public SessionOwner,
                         public ConnectionSlot {
 public:
  static const ACE_Time_Value kStallTimeout;

  // ACE_Acceptor's default factory needs it; such a connection never opens.
  ClientConnection() : SessionOwner(nullptr) {}
  explicit ClientConnection(const ConnectionContext* context) : SessionOwner(context->budget), context_(context) {}
  ~ClientConnection() override;

  int open(void* acceptor) override;
  int handle_input(ACE_HANDLE handle) override;
  int handle_output(ACE_HANDLE handle) override;
  int handle_timeout(const ACE_Time_Value& now, const void* act) override;

  // The reply to the write awaiting its commit; then answers what arrived
  // meanwhile. Closes (and deletes) the connection when that fails.
  void Answer(const std::string& replyFrame) override;
  void AnswerInTurn() override;

  void OnNotification() override;
  bool TakeWatcherSlot() override;
  void GiveBack() override;
  void Evict() override;

 private:
  // What the connection waits for from its client, if anything.
  enum class Stall { kNone, kIncompleteRequest, kUnreadReply };

  // Answers buffered frames until one reply cannot be sent at once, or one
  // waits for the group commit or its turn. -1 closes the connection.
  int AnswerFrames();
  // Answers one request, or hands it to the group commit; -1 closes the
  // connection.
  int AnswerFrame(const wire::FrameHeader& header, const std::string& body);
  // Queues a request that may have a large reply for its turn.
  void WaitForTurn(const wire::FrameHeader& header, std::string body);
  // Queues replyFrame_, the answer to a request of version, charged to the
  // budget; one the budget cannot hold becomes a server error.
  void QueueReply(std::uint8_t version);
  // Sends queued bytes, then queued notifications, until done or the
  // socket is full.
  int Send();
  // Waits to write while anything is queued, for nothing but a hang-up
  // while a next request waits behind one awaiting the server, else reads.
  int Watch();
  // (Re)starts the stall timer when the connection starts waiting on its
  // client, or on a new request; cancels it when it waits on nothing.
  int TimeStall(bool requestCompleted);
  // Keeps the import timer running from the last request while an import
  // is under way.
  int TimeImport(bool requestCompleted);
  // Tells the limit whether the connection has anything in flight.
  void MarkActivity();
  // Lets go of what the connection holds and closes it from the reactor's
  // next turn: whoever asked may be in the middle of its own work.
  void CloseSoon();
  void CancelTimer(long* timer);

  const ConnectionContext* context_ = nullptr;
  bool counted_ = false;
  bool countedForUser_ = false;
  bool closing_ = false;
  wire::FrameAssembler assembler_{wire::kMaxRequestBodyBytes};
  // The body of the request being answered; a small buffer is kept for the
  // next one, so a short request takes none from the heap.
  std::string requestBody_;
  OutgoingFrame outgoing_{this};
  // The reply being queued; between requests, a small buffer for the next
  // (OutgoingFrame::Add).
  std::string replyFrame_;
  bool awaitingCommit_ = false;
  bool awaitingTurn_ = false;  // in the LargeReplyQueue with the request below
  wire::FrameHeader waitingHeader_;
  std::string waitingBody_;
  ACE_Reactor_Mask watching_ = ACE_Event_Handler::READ_MASK;
  Stall stall_ = Stall::kNone;
  long stallTimer_ = -1;
  long importTimer_ = -1;
  ClientSession session_{this};
};

}  // namespace qet_cfgserver
