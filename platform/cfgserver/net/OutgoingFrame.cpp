#include "net/OutgoingFrame.h"

#include <errno.h>
#include <sys/socket.h>

namespace qet_cfgserver {

namespace {

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

}  // namespace

void OutgoingFrame::Add(std::string frame, std::size_t charged) {
  charged_ += charged;
  if (bytes_.empty()) bytes_ = std::move(frame);
  else bytes_.append(frame);
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
  std::string().swap(bytes_);  // the memory, not just the length: it was charged
  sent_ = 0;
  holder_->Refund(charged_);
  charged_ = 0;
}

}  // namespace qet_cfgserver
