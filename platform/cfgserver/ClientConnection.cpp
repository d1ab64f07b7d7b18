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

int ClientConnection::handle_input(ACE_HANDLE) {
  char chunk[kReadChunkBytes];
  const ssize_t received = peer().recv(chunk, sizeof chunk);
  if (received == 0) return -1;  // the client hung up
  if (received < 0) return WouldBlock(errno) ? 0 : -1;
  assembler_.Append(chunk, static_cast<std::size_t>(received));
  return AnswerFrames();
}

int ClientConnection::handle_output(ACE_HANDLE) {
  if (Flush() < 0) return -1;
  if (pendingOffset_ < pendingReply_.size()) return 0;
  // The queue is empty: answer what arrived meanwhile, then read again.
  return AnswerFrames();
}

int ClientConnection::AnswerFrames() {
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
    pendingReply_ = dispatcher_->AnswerFrame(header, body);
    pendingOffset_ = 0;
    if (Flush() < 0) return -1;
  }
  return WatchFor(pendingOffset_ < pendingReply_.size());
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
  const ACE_Reactor_Mask mask = replyQueued ? ACE_Event_Handler::WRITE_MASK : ACE_Event_Handler::READ_MASK;
  return reactor()->mask_ops(this, mask, ACE_Reactor::SET_MASK) < 0 ? -1 : 0;
}

}  // namespace qet_cfgserver
