#pragma once

#include <ace/LSOCK_Stream.h>
#include <ace/Svc_Handler.h>
#include <ace/Synch_Traits.h>
#include <ace/Time_Value.h>

#include <string>

#include "access/UserConnectionLimit.h"
#include "cfgwire/Frame.h"
#include "cfgwire/Messages.h"
#include "net/ConnectionLimit.h"
#include "requests/ClientSession.h"
#include "requests/CommitWaiter.h"
#include "requests/RequestDispatcher.h"

namespace qet_cfgserver {

// One client on the server's socket, driven by the reactor thread; the
// socket is non-blocking. Reads whatever has arrived into a frame assembler
// and answers each complete frame in turn. A reply the socket cannot take
// at once waits in a queue, sent from handle_output; meanwhile the
// connection neither reads nor answers more, so a client that never reads
// costs the server at most one reply. A bad frame header, or one announcing
// more than the largest legal request, closes only this connection, before
// its body is buffered.
//
// What one client can make the server hold is bounded: one request frame
// (plus one read's worth of bytes) and one reply, for at most kStallTimeout
// each. A connection that holds an incomplete request that long, or whose
// queued reply is not taken that long, is closed with a WARNING.
//
// A write the dispatcher hands to the group commit is answered through
// Answer() once committed; until then the connection reads and answers
// nothing more (it watches only for a hang-up), so its replies keep the
// order of its requests.
//
// A subscribed connection also sends the notifications its ClientSession
// queues, each after the frame before it is fully sent; the queue's own
// bound replaces the unread-reply timeout for it.
//
// open() reads who connected from the kernel (PeerCredentials), for the
// dispatcher's access decisions and log lines. Counted by the
// UserConnectionLimit and the ConnectionLimit from open() until
// destruction; open() fails when either is reached, and the acceptor then
// closes the connection. Created by ClientAcceptor; deletes itself when
// closed (ACE_Svc_Handler).
class ClientConnection : public ACE_Svc_Handler<ACE_LSOCK_Stream, ACE_NULL_SYNCH>, public CommitWaiter {
 public:
  static const ACE_Time_Value kStallTimeout;

  ClientConnection() = default;  // ACE_Acceptor's default factory needs it; such a connection never opens
  ClientConnection(RequestDispatcher* dispatcher, ConnectionLimit* limit, UserConnectionLimit* userLimit)
      : dispatcher_(dispatcher), limit_(limit), userLimit_(userLimit) {}
  ~ClientConnection() override;

  int open(void* acceptor) override;
  int handle_input(ACE_HANDLE handle) override;
  int handle_output(ACE_HANDLE handle) override;
  int handle_timeout(const ACE_Time_Value& now, const void* act) override;

  // The reply to the write awaiting its commit; then answers what arrived
  // meanwhile. Closes (and deletes) the connection when that fails.
  void Answer(const std::string& replyFrame) override;

 private:
  // What the connection waits for from its client, if anything.
  enum class Stall { kNone, kIncompleteRequest, kUnreadReply };

  // Answers buffered frames until one reply cannot be sent at once.
  // -1 closes the connection.
  int AnswerFrames();
  // Sends queued reply bytes until done or the socket is full.
  int Flush();
  // Waits to write while a reply or notification is queued, for nothing but
  // a hang-up while a write awaits its commit, else reads.
  int Watch();
  // Runs when the session queued a notification.
  void OnNotification();
  // (Re)starts the stall timer when the connection starts waiting on its
  // client, or on a new request; cancels it when it waits on nothing.
  int TimeStall(bool requestCompleted);

  RequestDispatcher* dispatcher_ = nullptr;
  ConnectionLimit* limit_ = nullptr;
  UserConnectionLimit* userLimit_ = nullptr;
  bool counted_ = false;
  bool countedForUser_ = false;
  wire::FrameAssembler assembler_{wire::kMaxRequestBodyBytes};
  std::string pendingReply_;
  std::size_t pendingOffset_ = 0;
  bool awaitingCommit_ = false;
  ACE_Reactor_Mask watching_ = ACE_Event_Handler::READ_MASK;
  Stall stall_ = Stall::kNone;
  long stallTimer_ = -1;
  ClientSession session_{[this] { OnNotification(); }};
};

}  // namespace qet_cfgserver
