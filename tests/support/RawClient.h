#pragma once

#include <ace/LSOCK_Stream.h>

#include <string>

#include "cfgwire/Messages.h"

namespace quenlo_test {

// A client of the cfgserver socket for tests that need what the client
// library hides: any bytes, pipelined requests, the version of a reply, and
// how the server ends a connection. Every read and write has a generous
// deadline (the server may run under an emulator). The destructor closes the
// connection. Not copyable; one thread drives it.
class RawClient {
 public:
  static constexpr int kTimeoutSeconds = 10;

  // Connects to the socket at path; when that fails, every call fails.
  explicit RawClient(const std::string& path);
  ~RawClient();

  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool Send(const std::string& bytes);
  // The next reply; status kNoServer on timeout, end of stream or a reply
  // that does not decode.
  qet_cfgserver::wire::Reply Receive();
  // Send, then Receive.
  qet_cfgserver::wire::Reply Exchange(const std::string& frame);
  // The protocol version of the last reply received.
  int lastReplyVersion() const { return lastReplyVersion_; }
  // Reads whatever the server still sends until it closes the connection;
  // false when it does not within timeoutSeconds.
  bool ClosedByServer(int timeoutSeconds = kTimeoutSeconds);

 private:
  bool Read(std::string* buffer);

  ACE_LSOCK_Stream stream_;
  int lastReplyVersion_ = 0;
};

// A request from client "test", without a tag.
qet_cfgserver::wire::Request TestRequest(qet_cfgserver::wire::Operation operation, const std::string& set = "",
                                         const std::string& section = "", const std::string& key = "",
                                         const std::string& value = "");

// TestRequest's frame as the client library sends it (empty when the request
// cannot be encoded, which the test then sees as a failed exchange).
std::string RequestFrame(qet_cfgserver::wire::Operation operation, const std::string& set, const std::string& section,
                         const std::string& key = "", const std::string& value = "");

}  // namespace quenlo_test
