#include "LxServerConnection.h"

#include <ace/LSOCK_Connector.h>
#include <ace/OS_NS_errno.h>
#include <ace/OS_NS_string.h>
#include <ace/OS_NS_sys_socket.h>
#include <ace/UNIX_Addr.h>

#include <sys/socket.h>

namespace qet_cfgserver {

namespace {

std::string ErrnoText(const char* what) { return std::string(what) + ": " + ACE_OS::strerror(ACE_OS::last_error()); }

bool IsPeerGone(int error) { return error == EPIPE || error == ECONNRESET || error == ENOTCONN; }

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
  ACE_LSOCK_Connector connector;
  ACE_UNIX_Addr address(socketPath_.c_str());
  ACE_Time_Value timeout = timeout_;  // ACE may write the time left into it
  if (connector.connect(stream_, address, &timeout) == -1) {
    const int error = ACE_OS::last_error();
    *why = LxStatus::Unavailable(ErrnoText(("cannot connect to " + socketPath_).c_str()));
    return error == ETIME ? Outcome::kTimedOut : Outcome::kUnreachable;
  }
  // Every send and receive waits with a timeout; on a socket left
  // non-blocking, ACE skips switching the mode around each of them.
  stream_.enable(ACE_NONBLOCK);
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
  // MSG_NOSIGNAL: a server that went away must not kill the client with SIGPIPE.
  if (stream_.send_n(requestFrame.data(), requestFrame.size(), MSG_NOSIGNAL, &timeout_) !=
      static_cast<ssize_t>(requestFrame.size())) {
    const int error = ACE_OS::last_error();
    *why = LxStatus::IoError(ErrnoText("cannot send the request"));
    if (error == ETIME) return Outcome::kTimedOut;
    return IsPeerGone(error) ? Outcome::kUnreachable : Outcome::kBroken;
  }

  char headerBytes[wire::kFrameHeaderBytes];
  Outcome received = Receive(headerBytes, sizeof headerBytes, answerStarted, why);
  if (received != Outcome::kAnswered) return received;
  LxStatus decoded = wire::DecodeFrameHeader(headerBytes, header);
  if (!decoded.ok()) {
    *why = decoded;
    return Outcome::kBroken;
  }
  body->assign(header->bodyBytes, '\0');
  if (header->bodyBytes == 0) return Outcome::kAnswered;
  bool anyBodyByte = false;
  return Receive(&(*body)[0], body->size(), &anyBodyByte, why);
}

LxServerConnection::Outcome LxServerConnection::Receive(char* buffer, std::size_t count, bool* anyByte, LxStatus* why) {
  size_t transferred = 0;
  const ssize_t result = stream_.recv_n(buffer, count, &timeout_, &transferred);
  if (transferred > 0) *anyByte = true;
  if (result == static_cast<ssize_t>(count)) return Outcome::kAnswered;
  if (result == 0) {
    *why = LxStatus::Unavailable("the server closed the connection");
    return Outcome::kUnreachable;
  }
  const int error = ACE_OS::last_error();
  *why = LxStatus::IoError(ErrnoText("cannot read the reply"));
  if (error == ETIME) return Outcome::kTimedOut;
  return IsPeerGone(error) ? Outcome::kUnreachable : Outcome::kBroken;
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
}

}  // namespace qet_cfgserver
