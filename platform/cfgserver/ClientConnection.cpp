#include "ClientConnection.h"

#include <ace/Reactor.h>
#include <errno.h>
#include <sys/socket.h>

#include "ServerLog.h"

namespace qet_cfgserver {

namespace {

constexpr std::size_t kReadChunkBytes = 64 * 1024;

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

}  // namespace

const ACE_Time_Value ClientConnection::kStallTimeout(10);

ClientConnection::~ClientConnection() {
  if (counted_) limit_->Release();
}

int ClientConnection::open(void* acceptor) {
  if (limit_ == nullptr || !limit_->Admit()) return -1;
  counted_ = true;
  return ACE_Svc_Handler::open(acceptor);
}

int ClientConnection::handle_input(ACE_HANDLE) {
  char chunk[kReadChunkBytes];
  const ssize_t received = peer().recv(chunk, sizeof chunk);
  if (received == 0) return -1;  // the client hung up
  if (received < 0) return WouldBlock(errno) ? 0 : -1;
  assembler_.Append(chunk, static_cast<std::size_t>(received));
  return AnswerFrames();
}

int ClientConnection::handle_output(ACE_HANDLE) {
  do {
    if (Flush() < 0) return -1;
    if (pendingOffset_ < pendingReply_.size()) return 0;
  } while (session_.TakeNotification(&pendingReply_));
  // The queue is empty: answer what arrived meanwhile, then read again.
  return AnswerFrames();
}

void ClientConnection::OnNotification() {
  // Sent from handle_output; a failure to watch shows as a dead peer later.
  if (pendingReply_.empty() && WatchFor(true) < 0)
    __dlog_printf(kDlogWarning, kServerLogSource, "cannot wait to send a notification");
}

int ClientConnection::handle_timeout(const ACE_Time_Value&, const void*) {
  stallTimer_ = -1;
  __dlog_printf(kDlogWarning, kServerLogSource, "closing a connection that %s for %ld seconds",
                stall_ == Stall::kUnreadReply ? "did not read its reply" : "held an incomplete request",
                static_cast<long>(kStallTimeout.sec()));
  return -1;  // the reactor closes the connection
}

int ClientConnection::AnswerFrames() {
  bool requestCompleted = false;
  while (pendingOffset_ == pendingReply_.size()) {
    wire::FrameHeader header;
    std::string body;
    LxStatus error;
    const wire::FrameAssembler::Result result = assembler_.Next(&header, &body, &error);
    if (result == wire::FrameAssembler::Result::kIncomplete) break;
    if (result == wire::FrameAssembler::Result::kBadFrame) {
      __dlog_printf(kDlogWarning, kServerLogSource, "closing a connection after a bad frame: %s", error.ToString().c_str());
      return -1;
    }
    requestCompleted = true;
    pendingReply_ = dispatcher_->AnswerFrame(header, body, &session_);
    pendingOffset_ = 0;
    if (Flush() < 0) return -1;
  }
  if (WatchFor(pendingOffset_ < pendingReply_.size() || session_.HasNotification()) < 0) return -1;
  return TimeStall(requestCompleted);
}

int ClientConnection::Flush() {
  while (pendingOffset_ < pendingReply_.size()) {
    // MSG_NOSIGNAL: a client that went away must not kill the server.
    const ssize_t sent = peer().send(pendingReply_.data() + pendingOffset_, pendingReply_.size() - pendingOffset_,
                                     MSG_NOSIGNAL);
    if (sent < 0) return WouldBlock(errno) ? 0 : -1;
    pendingOffset_ += static_cast<std::size_t>(sent);
  }
  pendingReply_.clear();
  pendingOffset_ = 0;
  return 0;
}

int ClientConnection::WatchFor(bool replyQueued) {
  if (replyQueued == watchingOutput_) return 0;
  watchingOutput_ = replyQueued;
  const ACE_Reactor_Mask mask = replyQueued ? ACE_Event_Handler::WRITE_MASK : ACE_Event_Handler::READ_MASK;
  return reactor()->mask_ops(this, mask, ACE_Reactor::SET_MASK) < 0 ? -1 : 0;
}

int ClientConnection::TimeStall(bool requestCompleted) {
  const bool unread = pendingOffset_ < pendingReply_.size() && !session_.subscribed();
  const Stall stall = unread                                ? Stall::kUnreadReply
                      : assembler_.BufferedBytes() > 0      ? Stall::kIncompleteRequest
                                                            : Stall::kNone;
  const bool newRequest = stall == Stall::kIncompleteRequest && requestCompleted;
  if (stall == stall_ && !newRequest) return 0;
  if (stallTimer_ != -1) reactor()->cancel_timer(stallTimer_);
  stallTimer_ = -1;
  stall_ = stall;
  if (stall == Stall::kNone) return 0;
  stallTimer_ = reactor()->schedule_timer(this, nullptr, kStallTimeout);
  return stallTimer_ == -1 ? -1 : 0;
}

}  // namespace qet_cfgserver
