#include "net/ClientConnection.h"

#include <ace/Reactor.h>
#include <errno.h>

#include "access/PeerCredentials.h"
#include "log/ServerLog.h"
#include "requests/ReplyFrame.h"

namespace qet_cfgserver {

namespace {

constexpr std::size_t kReadChunkBytes = 64 * 1024;
// Reads in one wake-up before other clients get their turn.
constexpr int kReadsPerWakeUp = 4;

// What each of the connection's timers is for: the act it is scheduled with.
const char kStallTimer = 's';
const char kImportTimer = 'i';
const char kCloseTimer = 'c';

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

}  // namespace

const ACE_Time_Value ClientConnection::kStallTimeout(10);

ClientConnection::~ClientConnection() {
  if (awaitingCommit_) context_->dispatcher->Withdraw(this);
  if (awaitingTurn_) context_->largeReplies->Remove(this);
  if (counted_) context_->limit->Release(this);
  if (countedForUser_) context_->userLimit->Release(session_.peer());
}

int ClientConnection::open(void* acceptor) {
  if (context_ == nullptr) return -1;
  PeerCredentials credentials;
  const LxStatus read = PeerCredentials::Read(peer().get_handle(), &credentials);
  if (!read.ok()) {
    __dlog_printf(kDlogWarning, kServerLogSource, "closing a connection: %s", read.message().c_str());
    return -1;
  }
  session_.SetPeer(credentials);
  if (!context_->userLimit->Admit(credentials)) return -1;
  countedForUser_ = true;
  if (!context_->limit->Admit(this)) return -1;
  counted_ = true;
  if (ACE_Svc_Handler::open(acceptor) != 0) return -1;
  MarkActivity();
  return 0;
}

int ClientConnection::handle_input(ACE_HANDLE) {
  if (closing_) return -1;
  // A client's next request often arrives while its reply is sent: reading
  // again before returning to the reactor saves re-arming and waiting.
  for (int reads = 0; reads < kReadsPerWakeUp; ++reads) {
    char chunk[kReadChunkBytes];
    const ssize_t received = peer().recv(chunk, sizeof chunk);
    if (received == 0) return -1;  // the client hung up
    if (received < 0) return WouldBlock(errno) ? 0 : -1;
    assembler_.Append(chunk, static_cast<std::size_t>(received));
    if (AnswerFrames() < 0) return -1;
    // Nothing more is answered until the server answers: the next read
    // would find nothing, or a request that has to wait anyway.
    if (watching_ != ACE_Event_Handler::READ_MASK || awaitingCommit_ || awaitingTurn_) break;
  }
  return 0;
}

int ClientConnection::handle_output(ACE_HANDLE) {
  if (closing_) return -1;
  if (Send() < 0) return -1;
  if (outgoing_.pending()) return 0;
  // All is sent: answer what arrived meanwhile, then read again.
  return AnswerFrames();
}

int ClientConnection::handle_timeout(const ACE_Time_Value&, const void* act) {
  if (act == &kCloseTimer) return -1;  // the reactor closes the connection
  if (act == &kImportTimer) {
    importTimer_ = -1;
    __dlog_printf(kDlogWarning, kServerLogSource, "dropping an import that had no request for %ld seconds",
                  static_cast<long>(context_->importTimeout.sec()));
    session_.staging().Drop();
    MarkActivity();
    return 0;
  }
  stallTimer_ = -1;
  __dlog_printf(kDlogWarning, kServerLogSource, "closing a connection that %s for %ld seconds",
                stall_ == Stall::kUnreadReply ? "did not read its reply" : "held an incomplete request",
                static_cast<long>(kStallTimeout.sec()));
  return -1;
}

void ClientConnection::Answer(const std::string& replyFrame) {
  awaitingCommit_ = false;
  if (closing_) return;
  // Not charged: the status of one write, a few bytes like a request's own.
  outgoing_.Add(replyFrame, 0);
  if (Send() == 0 && AnswerFrames() == 0) return;
  // Not in an upcall: close the way the reactor does after one returns -1.
  reactor()->remove_handler(this, ACE_Event_Handler::ALL_EVENTS_MASK);
}

void ClientConnection::AnswerInTurn() {
  awaitingTurn_ = false;
  if (closing_) return;
  const std::string body = std::move(waitingBody_);
  waitingBody_.clear();
  if (AnswerFrame(waitingHeader_, body) == 0 && AnswerFrames() == 0) return;
  // Not in an upcall: close the way the reactor does after one returns -1.
  reactor()->remove_handler(this, ACE_Event_Handler::ALL_EVENTS_MASK);
}

void ClientConnection::OnNotification() {
  // Sent from handle_output; a failure to watch shows as a dead peer later.
  if (!closing_ && !outgoing_.pending() && Watch() < 0)
    __dlog_printf(kDlogWarning, kServerLogSource, "cannot wait to send a notification");
}

bool ClientConnection::TakeWatcherSlot() { return context_->limit->AdmitWatcher(this); }

void ClientConnection::GiveBack() {
  session_.GiveBack();
  if (!outgoing_.pending()) return;
  __dlog_printf(kDlogWarning, kServerLogSource, "closing a connection to free the client memory its reply holds");
  CloseSoon();
}

void ClientConnection::Evict() {
  counted_ = false;  // the limit counts its newcomer instead
  CloseSoon();
}

void ClientConnection::CloseSoon() {
  if (closing_) return;
  closing_ = true;
  outgoing_.Drop();
  session_.GiveBack();
  if (reactor()->schedule_timer(this, &kCloseTimer, ACE_Time_Value::zero) == -1)
    __dlog_printf(kDlogWarning, kServerLogSource, "cannot schedule a connection's close; it closes at its next event");
}

int ClientConnection::AnswerFrames() {
  bool requestCompleted = false;
  while (!awaitingCommit_ && !awaitingTurn_ && !outgoing_.pending()) {
    wire::FrameHeader header;
    LxStatus error;
    const wire::FrameAssembler::Result result = assembler_.Next(&header, &requestBody_, &error);
    if (result == wire::FrameAssembler::Result::kIncomplete) break;
    if (result == wire::FrameAssembler::Result::kBadFrame) {
      __dlog_printf(kDlogWarning, kServerLogSource, "closing a connection after a bad frame: %s", error.ToString().c_str());
      return -1;
    }
    requestCompleted = true;
    if (context_->largeReplies != nullptr && LargeReplyQueue::MayBeLarge(header, requestBody_)) {
      WaitForTurn(header, std::move(requestBody_));
      break;
    }
    if (AnswerFrame(header, requestBody_) < 0) return -1;
    // Kept as small as a reply's buffer: every idle connection holds it.
    OutgoingFrame::EmptyKeepingSmall(&requestBody_);
  }
  if (Watch() < 0 || TimeStall(requestCompleted) < 0 || TimeImport(requestCompleted) < 0) return -1;
  MarkActivity();
  return 0;
}

int ClientConnection::AnswerFrame(const wire::FrameHeader& header, const std::string& body) {
  awaitingCommit_ = !context_->dispatcher->AnswerFrame(header, body, &replyFrame_, &session_, this);
  if (awaitingCommit_) return 0;
  QueueReply(header.version);
  return Send();
}

void ClientConnection::WaitForTurn(const wire::FrameHeader& header, std::string body) {
  awaitingTurn_ = true;
  waitingHeader_ = header;
  waitingBody_ = std::move(body);
  context_->largeReplies->Add(this);
}

void ClientConnection::QueueReply(std::uint8_t version) {
  const std::size_t bytes = replyFrame_.size();
  if (Charge(bytes)) {
    outgoing_.Add(&replyFrame_, bytes);
    return;
  }
  std::string().swap(replyFrame_);
  __dlog_printf(kDlogWarning, kServerLogSource,
                "a reply of %zu bytes does not fit in the client memory now: answering server error", bytes);
  // Not charged: a status alone, a few bytes like a request's own.
  outgoing_.Add(EncodeReply(ReplyWithStatus(CfgItemStatus::kServerError), version), 0);
}

int ClientConnection::Send() {
  do {
    if (outgoing_.Send(peer()) < 0) return -1;
    if (outgoing_.pending()) return 0;
    std::string frame;
    std::size_t charged = 0;
    if (!session_.TakeNotification(&frame, &charged)) return 0;
    outgoing_.Add(std::move(frame), charged);
  } while (true);
}

int ClientConnection::Watch() {
  // A hang-up is reported whatever the mask; no client sends priority data.
  // A connection awaiting the server keeps reading until it holds bytes of
  // a next request: a client waits for its answer, so that mask rarely
  // changes, and each change costs the reactor system calls per write.
  const bool toSend = outgoing_.pending() || session_.HasNotification();
  const bool holdsNextRequest = (awaitingCommit_ || awaitingTurn_) && assembler_.BufferedBytes() > 0;
  const ACE_Reactor_Mask mask = toSend             ? ACE_Event_Handler::WRITE_MASK
                                : holdsNextRequest ? ACE_Event_Handler::EXCEPT_MASK
                                                   : ACE_Event_Handler::READ_MASK;
  if (mask == watching_) return 0;
  watching_ = mask;
  return reactor()->mask_ops(this, mask, ACE_Reactor::SET_MASK) < 0 ? -1 : 0;
}

int ClientConnection::TimeStall(bool requestCompleted) {
  // A request waiting for its turn waits on the server, not on its client.
  const bool unread = outgoing_.pending() && !session_.subscribed();
  const Stall stall = unread                                           ? Stall::kUnreadReply
                      : assembler_.BufferedBytes() > 0 && !awaitingTurn_ ? Stall::kIncompleteRequest
                                                                         : Stall::kNone;
  const bool newRequest = stall == Stall::kIncompleteRequest && requestCompleted;
  if (stall == stall_ && !newRequest) return 0;
  CancelTimer(&stallTimer_);
  stall_ = stall;
  if (stall == Stall::kNone) return 0;
  stallTimer_ = reactor()->schedule_timer(this, &kStallTimer, kStallTimeout);
  return stallTimer_ == -1 ? -1 : 0;
}

int ClientConnection::TimeImport(bool requestCompleted) {
  if (!session_.staging().active()) {
    CancelTimer(&importTimer_);
    return 0;
  }
  if (importTimer_ != -1 && !requestCompleted) return 0;
  CancelTimer(&importTimer_);
  importTimer_ = reactor()->schedule_timer(this, &kImportTimer, context_->importTimeout);
  return importTimer_ == -1 ? -1 : 0;
}

void ClientConnection::MarkActivity() {
  const bool idle = !closing_ && !awaitingCommit_ && !awaitingTurn_ && !outgoing_.pending() &&
                    assembler_.BufferedBytes() == 0 && !session_.subscribed() && !session_.staging().active();
  context_->limit->MarkIdle(this, idle);
}

void ClientConnection::CancelTimer(long* timer) {
  if (*timer != -1) reactor()->cancel_timer(*timer);
  *timer = -1;
}

}  // namespace qet_cfgserver
