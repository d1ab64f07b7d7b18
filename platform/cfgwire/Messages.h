#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CfgItemStatus.h"
#include "Frame.h"
#include "Limits.h"
#include "LxStatus.h"

namespace qet_cfgserver {
namespace wire {

// What a client asks. Every request carries every field (unused ones empty),
// which keeps one encoder and one decoder for all operations. The numeric
// values travel on the wire and must never be renumbered.
enum class Operation : std::uint32_t {
  kGetSets = 1,
  kGetSections = 2,
  kGetKeysAndValues = 3,
  kGetValue = 4,
  kSetValue = 5,
};

struct Request {
  Operation operation = Operation::kGetSets;
  std::uint32_t command = 0;  // the caller's request code, passed through
  std::string client;         // who asks, for the server's log
  std::string tag;            // the caller's free text, for the server's log
  std::string set;
  std::string section;
  std::string key;
  std::string value;  // only for kSetValue
};

struct KeyValue {
  std::string key;
  std::string value;
};

// The server's answer. names: sets or sections, ascending byte order.
// pairs: keys and values, ascending key order. value: for kGetValue.
struct Reply {
  CfgItemStatus::Status status = CfgItemStatus::kSuccess;
  std::string value;
  std::vector<std::string> names;
  std::vector<KeyValue> pairs;
};

// Body layout, CDR in the sender's order:
//   request: ulong operation, ulong command, then client, tag, set, section,
//            key, value as strings
//   reply:   ulong status, string value, ulong count + count strings (names),
//            ulong count + count (key, value) string pairs
// A string is a ulong byte count followed by that many octets, so any byte,
// NUL included, survives the trip.

namespace layout {

constexpr std::size_t kULongBytes = 4;

// CDR starts every ulong on a multiple of four bytes, so the octets of a
// string are followed by up to three bytes of padding when a field follows.
constexpr std::size_t PaddedToULong(std::size_t bytes) { return (bytes + kULongBytes - 1) / kULongBytes * kULongBytes; }

// A string followed by another field. The padded size grows with the
// string, so the longest legal string is also the largest on the wire.
constexpr std::size_t PaddedStringBytes(std::size_t maxBytes) { return kULongBytes + PaddedToULong(maxBytes); }

}  // namespace layout

// The largest body of a request within the limits of Limits.h: operation and
// command, client and tag, set, section and key, then the value, which ends
// the body and so is never padded. A request frame announcing more cannot be
// legal; the server refuses it at the header instead of buffering it.
constexpr std::uint32_t kMaxRequestBodyBytes =
    2 * layout::kULongBytes + 2 * layout::PaddedStringBytes(kMaxLabelBytes) +
    3 * layout::PaddedStringBytes(kMaxNameBytes) + layout::kULongBytes + kMaxValueBytes;

// Encode as a whole frame in this machine's byte order. Fail when the frame
// would be over the size limit.
LxStatus EncodeRequestFrame(const Request& request, std::string* frame);
LxStatus EncodeReplyFrame(const Reply& reply, std::string* frame);

// Decode a body received under header. Fail on truncation, trailing bytes,
// an unknown operation or status, or a count that cannot fit the body.
LxStatus DecodeRequestBody(const FrameHeader& header, const std::string& body, Request* request);
LxStatus DecodeReplyBody(const FrameHeader& header, const std::string& body, Reply* reply);

// The operation's name for log lines ("get-value", ...).
const char* OperationName(Operation operation);

}  // namespace wire
}  // namespace qet_cfgserver
