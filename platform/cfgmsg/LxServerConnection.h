#pragma once

#include <ace/LSOCK_Stream.h>
#include <ace/Time_Value.h>

#include <mutex>
#include <string>

#include "cfgwire/Frame.h"
#include "common/LxStatus.h"

namespace qet_cfgserver {

// One stream connection to the server's socket, opened when first needed
// (through ServerConnector, which first checks the runtime directory) and
// kept open across round trips.
//
// Threads: RoundTrip() and Close() from one thread at a time (the requesting
// thread); Interrupt() from any thread, at any time.
class LxServerConnection {
 public:
  enum class Outcome {
    kAnswered,     // a well-formed reply frame arrived
    kUnreachable,  // no server accepts, or it closed the connection
    kTimedOut,     // the server took longer than the timeout to take or give bytes
    kBroken,       // the server sent bytes that are not a frame
    kPermissionDenied,  // the socket, or a directory on the way, refuses this user
    kUntrusted,    // the runtime directory breaks the safe-path rules: nothing was sent
  };

  LxServerConnection(std::string socketPath, const ACE_Time_Value& timeout);
  ~LxServerConnection();

  LxServerConnection(const LxServerConnection&) = delete;
  LxServerConnection& operator=(const LxServerConnection&) = delete;

  // Sends one request frame and reads one reply frame. Connects first when
  // there is no connection. When a connection kept from an earlier round trip
  // turns out closed by the server (it restarted) before any reply byte came,
  // reconnects and tries once more. Any failure closes the connection, so the
  // next call starts afresh. *why explains a failure.
  Outcome RoundTrip(const std::string& requestFrame, wire::FrameHeader* header, std::string* body, LxStatus* why);

  // Wakes a RoundTrip() blocked on the socket and makes every later one fail
  // at once with kUnreachable.
  void Interrupt();

  void Close();

 private:
  Outcome Connect(LxStatus* why);
  Outcome Exchange(const std::string& requestFrame, wire::FrameHeader* header, std::string* body, LxStatus* why,
                   bool* answerStarted);
  Outcome Send(const std::string& frame, LxStatus* why);
  // Reads until inbox_ holds at least count bytes.
  Outcome Receive(std::size_t count, bool* anyByte, LxStatus* why);
  // One recv() towards missing more bytes in inbox_; its result.
  ssize_t ReceiveSome(std::size_t missing);

  const std::string socketPath_;
  const ACE_Time_Value timeout_;
  ACE_LSOCK_Stream stream_;
  bool connected_ = false;
  std::string inbox_;  // bytes received and not yet taken as a reply

  std::mutex handleMutex_;  // guards the two below against Interrupt()
  ACE_HANDLE publishedHandle_ = ACE_INVALID_HANDLE;
  bool interrupted_ = false;
};

}  // namespace qet_cfgserver
