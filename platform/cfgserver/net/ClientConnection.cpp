#include "net/ClientConnection.h"

#include <ace/Reactor.h>
#include <errno.h>
#include <sys/socket.h>

#include "log/ServerLog.h"

namespace qet_cfgserver {

namespace {

constexpr std::size_t kReadChunkBytes = 64 * 1024;
// Reads in one wake-up before other clients get their turn.
constexpr int kReadsPerWakeUp = 4;

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

}  // namespace

const ACE_Time_Value ClientConnection::kStallTimeout(10);

ClientConnection::~ClientConnection() {
  if (awaitingCommit_) dispatcher_->Withdraw(this);
  if (counted_) limit_->Release();
  if (countedForUser_) userLimit_->Release(session_.peer());
}

int ClientConnection::open(void* acceptor) {
  if (limit_ == nullptr || userLimit_ == nullptr) return -1;
  PeerCredentials credentials;
  const LxStatus read = PeerCredentials::Read(peer().get_handle(), &credentials);
  if (!read.ok()) {
    __dlog_printf(kDlogWarning, kServerLogSource, "closing a connection: %s", read.message().c_str());
    return -1;
  }
  session_.SetPeer(credentials);
  if (!userLimit_->Admit(credentials)) return -1;
  countedForUser_ = true;
  if (!limit_->Admit()) return -1;
  counted_ = true;
  return ACE_Svc_Handler::open(acceptor);
}

int ClientConnection::handle_input(ACE_HANDLE) {
  // A client's next request often arrives while its reply is sent: reading
  // again before returning to the reactor saves re-arming and waiting.
  for (int reads = 0; reads < kReadsPerWakeUp; ++reads) {
    char chunk[kReadChunkBytes];
    const ssize_t received = peer().recv(chunk, sizeof chunk);
    if (received == 0) return -1;  // the client hung up
    if (received < 0) return WouldBlock(errno) ? 0 : -1;
    assembler_.Append(chunk, static_cast<std::size_t>(received));
    if (AnswerFrames() < 0) return -1;
    if (watching_ != ACE_Event_Handler::READ_MASK) break;
  }
  return 0;
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
  if (pendingReply_.empty() && Watch() < 0)
    __dlog_printf(kDlogWarning, kServerLogSource, "cannot wait to send a notification");
}

int ClientConnection::handle_timeout(const ACE_Time_Value&, const void*) {
  stallTimer_ = -1;
  __dlog_printf(kDlogWarning, kServerLogSource, "closing a connection that %s for %ld seconds",
                stall_ == Stall::kUnreadReply ? "did not read its reply" : "held an incomplete request",
                static_cast<long>(kStallTimeout.sec()));
  return -1;  // the reactor closes the connection
}

void ClientConnection::Answer(const std::string& replyFrame) {
  awaitingCommit_ = false;
  // After a notification still being sent, if any: frames stay whole.
  pendingReply_.append(replyFrame);
  if (Flush() == 0 && AnswerFrames() == 0) return;
  // Not in an upcall: close the way the reactor does after one returns -1.
  reactor()->remove_handler(this, ACE_Event_Handler::ALL_EVENTS_MASK);
}

int ClientConnection::AnswerFrames() {
  bool requestCompleted = false;
  while (!awaitingCommit_ && pendingOffset_ == pendingReply_.size()) {
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
    std::optional<std::string> reply = dispatcher_->AnswerFrame(header, body, &session_, this);
    awaitingCommit_ = !reply;
    if (awaitingCommit_) break;
    pendingReply_ = std::move(*reply);
    pendingOffset_ = 0;
    if (Flush() < 0) return -1;
  }
  if (Watch() < 0) return -1;
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

int ClientConnection::Watch() {
  // A hang-up is reported whatever the mask; no client sends priority data.
  const bool toSend = pendingOffset_ < pendingReply_.size() || session_.HasNotification();
  const ACE_Reactor_Mask mask = toSend            ? ACE_Event_Handler::WRITE_MASK
                                : awaitingCommit_ ? ACE_Event_Handler::EXCEPT_MASK
                                                  : ACE_Event_Handler::READ_MASK;
  if (mask == watching_) return 0;
  watching_ = mask;
  return reactor()->mask_ops(this, mask, ACE_Reactor::SET_MASK) < 0 ? -1 : 0;
}

int ClientConnection::TimeStall(bool requestCompleted) {
  const bool unread = pendingOffset_ < pendingReply_.size() && !session_.subscribed();
  const Stall stall = unread                           ? Stall::kUnreadReply
                      : assembler_.BufferedBytes() > 0 ? Stall::kIncompleteRequest
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
