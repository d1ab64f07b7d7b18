#include "cfgmsg/LxServerConnection.h"

#include <ace/OS_NS_errno.h>
#include <ace/OS_NS_string.h>
#include <ace/OS_NS_sys_socket.h>

#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>

#include "cfgmsg/ServerConnector.h"

namespace qet_cfgserver {

namespace {

std::string ErrnoText(const char* what) { return std::string(what) + ": " + ACE_OS::strerror(ACE_OS::last_error()); }

// Bytes asked of the socket at once while a frame needs fewer.
constexpr std::size_t kReadChunkBytes = 4096;

bool IsPeerGone(int error) { return error == EPIPE || error == ECONNRESET || error == ENOTCONN; }

// The outcome of a failed transfer: a socket timeout (SO_RCVTIMEO,
// SO_SNDTIMEO) ends it with EAGAIN.
LxServerConnection::Outcome Failure(int error) {
  if (error == EAGAIN || error == EWOULDBLOCK) return LxServerConnection::Outcome::kTimedOut;
  return IsPeerGone(error) ? LxServerConnection::Outcome::kUnreachable : LxServerConnection::Outcome::kBroken;
}

}  // namespace

LxServerConnection::LxServerConnection(std::string socketPath, const ACE_Time_Value& timeout)
    : socketPath_(std::move(socketPath)), timeout_(timeout) {}

LxServerConnection::~LxServerConnection() { Close(); }

LxServerConnection::Outcome LxServerConnection::RoundTrip(const std::string& requestFrame, wire::FrameHeader* header,
                                                          std::string* body, LxStatus* why) {
  const bool reused = connected_;
  if (!connected_) {
    Outcome connected = Connect(why);
    if (connected != Outcome::kAnswered) return connected;
  }
  bool answerStarted = false;
  Outcome outcome = Exchange(requestFrame, header, body, why, &answerStarted);
  if (outcome == Outcome::kUnreachable && reused && !answerStarted) {
    // The server closed a connection we kept; a restarted one may be there.
    Close();
    outcome = Connect(why);
    if (outcome == Outcome::kAnswered) outcome = Exchange(requestFrame, header, body, why, &answerStarted);
  }
  if (outcome != Outcome::kAnswered) Close();
  return outcome;
}

LxServerConnection::Outcome LxServerConnection::Connect(LxStatus* why) {
  switch (ServerConnector::Connect(socketPath_, timeout_, &stream_, why)) {
    case ServerConnector::Result::kConnected: break;
    case ServerConnector::Result::kNoServer: return Outcome::kUnreachable;
    case ServerConnector::Result::kTimedOut: return Outcome::kTimedOut;
    case ServerConnector::Result::kPermissionDenied: return Outcome::kPermissionDenied;
    case ServerConnector::Result::kUntrusted: return Outcome::kUntrusted;
  }
  // A blocking socket whose every send and receive waits at most the
  // timeout (the kernel keeps it): one system call per transfer, none to
  // poll or to switch modes around it.
  const timeval limit = timeout_;
  if (stream_.disable(ACE_NONBLOCK) == -1 ||
      stream_.set_option(SOL_SOCKET, SO_RCVTIMEO, const_cast<timeval*>(&limit), sizeof limit) == -1 ||
      stream_.set_option(SOL_SOCKET, SO_SNDTIMEO, const_cast<timeval*>(&limit), sizeof limit) == -1) {
    *why = LxStatus::IoError(ErrnoText("cannot set up the connection"));
    stream_.close();
    return Outcome::kBroken;
  }
  std::lock_guard<std::mutex> lock(handleMutex_);
  if (interrupted_) {
    stream_.close();
    *why = LxStatus::Unavailable("the handle was released");
    return Outcome::kUnreachable;
  }
  publishedHandle_ = stream_.get_handle();
  connected_ = true;
  return Outcome::kAnswered;
}

LxServerConnection::Outcome LxServerConnection::Exchange(const std::string& requestFrame, wire::FrameHeader* header,
                                                         std::string* body, LxStatus* why, bool* answerStarted) {
  Outcome sent = Send(requestFrame, why);
  if (sent != Outcome::kAnswered) return sent;
  Outcome received = Receive(wire::kFrameHeaderBytes, answerStarted, why);
  if (received != Outcome::kAnswered) return received;
  LxStatus decoded = wire::DecodeFrameHeader(inbox_.data(), header);
  if (!decoded.ok()) {
    *why = decoded;
    return Outcome::kBroken;
  }
  const std::size_t frameBytes = wire::kFrameHeaderBytes + header->bodyBytes;
  received = Receive(frameBytes, answerStarted, why);
  if (received != Outcome::kAnswered) return received;
  body->assign(inbox_, wire::kFrameHeaderBytes, header->bodyBytes);
  inbox_.erase(0, frameBytes);
  return Outcome::kAnswered;
}

LxServerConnection::Outcome LxServerConnection::Send(const std::string& frame, LxStatus* why) {
  std::size_t sent = 0;
  while (sent < frame.size()) {
    // MSG_NOSIGNAL: a server that went away must not kill the client with SIGPIPE.
    const ssize_t result = stream_.send(frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
    if (result >= 0) {
      sent += static_cast<std::size_t>(result);
      continue;
    }
    const int error = ACE_OS::last_error();
    if (error == EINTR) continue;
    *why = LxStatus::IoError(ErrnoText("cannot send the request"));
    return Failure(error);
  }
  return Outcome::kAnswered;
}

LxServerConnection::Outcome LxServerConnection::Receive(std::size_t count, bool* anyByte, LxStatus* why) {
  while (inbox_.size() < count) {
    const ssize_t result = ReceiveSome(count - inbox_.size());
    if (result > 0) {
      *anyByte = true;
      continue;
    }
    if (result == 0) {
      *why = LxStatus::Unavailable("the server closed the connection");
      return Outcome::kUnreachable;
    }
    const int error = ACE_OS::last_error();
    if (error == EINTR) continue;
    *why = LxStatus::IoError(ErrnoText("cannot read the reply"));
    return Failure(error);
  }
  return Outcome::kAnswered;
}

ssize_t LxServerConnection::ReceiveSome(std::size_t missing) {
  // Most replies fit in a chunk: read it on the stack and keep what came
  // (header and body usually come in one call), instead of zero-filling a
  // chunk of inbox_ for every reply.
  if (missing <= kReadChunkBytes) {
    char chunk[kReadChunkBytes];
    const ssize_t result = stream_.recv(chunk, sizeof chunk);
    if (result > 0) inbox_.append(chunk, static_cast<std::size_t>(result));
    return result;
  }
  // A large frame's bytes go straight to their place.
  const std::size_t have = inbox_.size();
  inbox_.resize(have + missing);
  const ssize_t result = stream_.recv(&inbox_[have], missing);
  inbox_.resize(have + static_cast<std::size_t>(std::max<ssize_t>(result, 0)));
  return result;
}

void LxServerConnection::Interrupt() {
  std::lock_guard<std::mutex> lock(handleMutex_);
  interrupted_ = true;
  if (publishedHandle_ != ACE_INVALID_HANDLE) ACE_OS::shutdown(publishedHandle_, ACE_SHUTDOWN_BOTH);
}

void LxServerConnection::Close() {
  {
    // Unpublish before closing, so Interrupt() never shuts down a number
    // the system has already handed to another file.
    std::lock_guard<std::mutex> lock(handleMutex_);
    publishedHandle_ = ACE_INVALID_HANDLE;
  }
  if (connected_) stream_.close();
  connected_ = false;
  inbox_.clear();
}

}  // namespace qet_cfgserver
