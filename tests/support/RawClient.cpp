#include "tests/support/RawClient.h"

#include <ace/LSOCK_Connector.h>
#include <ace/UNIX_Addr.h>
#include <errno.h>
#include <sys/socket.h>

namespace quenlo_test {

namespace wire = qet_cfgserver::wire;

namespace {
const ACE_Time_Value kTimeout(RawClient::kTimeoutSeconds);
}  // namespace

RawClient::RawClient(const std::string& path) {
  ACE_LSOCK_Connector().connect(stream_, ACE_UNIX_Addr(path.c_str()));
}

RawClient::~RawClient() { stream_.close(); }

bool RawClient::Send(const std::string& bytes) {
  return !bytes.empty() && stream_.send_n(bytes.data(), bytes.size(), MSG_NOSIGNAL, &kTimeout) == ssize_t(bytes.size());
}

wire::Reply RawClient::Receive() {
  std::string bytes(wire::kFrameHeaderBytes, '\0');
  wire::FrameHeader header;
  wire::Reply reply;
  if (!Read(&bytes) || !wire::DecodeFrameHeader(bytes.data(), &header).ok() ||
      !Read(&bytes.assign(header.bodyBytes, '\0')) || !wire::DecodeReplyBody(header, bytes, &reply).ok()) {
    reply.status = qet_cfgserver::CfgItemStatus::kNoServer;
    return reply;
  }
  lastReplyVersion_ = header.version;
  return reply;
}

wire::Reply RawClient::Exchange(const std::string& frame) {
  if (Send(frame)) return Receive();
  wire::Reply failed;
  failed.status = qet_cfgserver::CfgItemStatus::kNoServer;
  return failed;
}

bool RawClient::ClosedByServer(int timeoutSeconds) {
  const ACE_Time_Value timeout(timeoutSeconds);
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t received = stream_.recv(buffer, sizeof buffer, &timeout);
    if (received <= 0) return received == 0 || errno == ECONNRESET;
  }
}

bool RawClient::Read(std::string* buffer) {
  return stream_.recv_n(&(*buffer)[0], buffer->size(), &kTimeout) == ssize_t(buffer->size());
}

wire::Request TestRequest(wire::Operation operation, const std::string& set, const std::string& section,
                          const std::string& key, const std::string& value) {
  wire::Request request;
  request.operation = operation;
  request.client = "test";
  request.set = set;
  request.section = section;
  request.key = key;
  request.value = value;
  return request;
}

std::string RequestFrame(wire::Operation operation, const std::string& set, const std::string& section,
                         const std::string& key, const std::string& value) {
  std::string frame;
  if (!wire::EncodeRequestFrame(TestRequest(operation, set, section, key, value), &frame).ok()) frame.clear();
  return frame;
}

}  // namespace quenlo_test
