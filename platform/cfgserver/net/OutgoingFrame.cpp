#include "net/OutgoingFrame.h"

#include <errno.h>
#include <sys/socket.h>

namespace qet_cfgserver {

namespace {

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

}  // namespace

void OutgoingFrame::EmptyKeepingSmall(std::string* buffer) {
  if (buffer->capacity() > kKeptBytes) std::string().swap(*buffer);
  else buffer->clear();
}

void OutgoingFrame::Add(std::string frame, std::size_t charged) { Add(&frame, charged); }

void OutgoingFrame::Add(std::string* frame, std::size_t charged) {
  charged_ += charged;
  if (bytes_.empty()) bytes_.swap(*frame);
  else bytes_.append(*frame);
  // A buffer left to encode into is kept only as small as this one's own.
  EmptyKeepingSmall(frame);
}

int OutgoingFrame::Send(ACE_LSOCK_Stream& peer) {
  while (pending()) {
    // MSG_NOSIGNAL: a client that went away must not kill the server.
    const ssize_t sent = peer.send(bytes_.data() + sent_, bytes_.size() - sent_, MSG_NOSIGNAL);
    if (sent < 0) return WouldBlock(errno) ? 0 : -1;
    sent_ += static_cast<std::size_t>(sent);
  }
  Drop();
  return 0;
}

void OutgoingFrame::Drop() {
  // The memory, not just the length, of a frame larger than is kept: it was
  // charged.
  EmptyKeepingSmall(&bytes_);
  sent_ = 0;
  holder_->Refund(charged_);
  charged_ = 0;
}

}  // namespace qet_cfgserver
