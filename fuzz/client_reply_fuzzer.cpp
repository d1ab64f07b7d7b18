// Bytes from a hostile or broken server, through what the client library
// does with them on a kept-open connection: per round trip the 8 header
// bytes go through DecodeFrameHeader and exactly the announced body through
// DecodeReplyBody (LxServerConnection::Exchange, then LxIpcClient::AskOnce),
// and a decoded reply lands in the caller's containers (LxIpcClient's
// listings). The first failure closes the connection: the rest of the input
// is never read.
//
// Properties checked besides the sanitizers': the reply decoder reads each
// byte once (a decoded reply encodes back to a body of the same size), and
// what it decodes survives its own encoding unchanged.

#include <cstddef>
#include <cstdint>
#include <list>
#include <set>
#include <string>

#include "cfgmsg/LxCfgKeyValuePair.h"
#include "cfgwire/Messages.h"
#include "fuzz/FuzzCheck.h"

namespace quenlo_fuzz {
namespace {

using namespace qet_cfgserver;

// In the version it came in: a version-2 body carries more fields.
void CheckReEncoding(const wire::Reply& reply, const std::string& body, std::uint8_t version) {
  std::string frame;
  Require(wire::EncodeReplyFrame(reply, &frame, version).ok(), "a decoded reply encodes");
  Require(frame.size() == wire::kFrameHeaderBytes + body.size(), "a decoded reply used its whole body");
  wire::FrameHeader header;
  Require(wire::DecodeFrameHeader(frame.data(), &header).ok(), "an encoded reply's header decodes");
  wire::Reply again;
  Require(wire::DecodeReplyBody(header, frame.substr(wire::kFrameHeaderBytes), &again).ok(), "an encoded reply decodes");
  std::string frameAgain;
  Require(wire::EncodeReplyFrame(again, &frameAgain, version).ok() && frameAgain == frame,
          "a reply survives its encoding");
}

// What LxIpcClient's listings hand their callers, for the sanitizers to watch.
void HandOver(wire::Reply* reply) {
  std::set<std::string> names(reply->names.begin(), reply->names.end());
  std::list<LxCfgKeyValuePair> pairs;
  for (wire::KeyValue& pair : reply->pairs) pairs.emplace_back(std::move(pair.key), std::move(pair.value));
}

}  // namespace
}  // namespace quenlo_fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quenlo_fuzz;
  const char* bytes = reinterpret_cast<const char*>(data);
  std::size_t offset = 0;
  while (size - offset >= qet_cfgserver::wire::kFrameHeaderBytes) {
    qet_cfgserver::wire::FrameHeader header;
    if (!qet_cfgserver::wire::DecodeFrameHeader(bytes + offset, &header).ok()) return 0;
    offset += qet_cfgserver::wire::kFrameHeaderBytes;
    if (size - offset < header.bodyBytes) return 0;  // the server hung up within the body
    const std::string body(bytes + offset, header.bodyBytes);
    offset += header.bodyBytes;
    qet_cfgserver::wire::Reply reply;
    if (!qet_cfgserver::wire::DecodeReplyBody(header, body, &reply).ok()) return 0;
    CheckReEncoding(reply, body, header.version);
    HandOver(&reply);
  }
  return 0;
}
