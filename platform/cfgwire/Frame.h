#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/LxStatus.h"

namespace qet_cfgserver {
namespace wire {

// Every message on the stream is one frame: an 8-byte header, then a body of
// CDR-encoded fields.
//
//   offset 0  'Q' 'C'   magic
//   offset 2  version   1 or 2 (see below)
//   offset 3  order     sender's byte order: 1 little-endian, 0 big-endian
//   offset 4  length    body size in bytes, unsigned 32-bit, in that order
//
// The receiver honours the sender's order, so peers of either byte order and
// word size talk to each other.
constexpr std::size_t kFrameHeaderBytes = 8;
//
// Version 1 carries the five requests; version 2 adds the operations of
// Messages.h past kSetValue and a tail to request and reply bodies. A
// server answers in the version of the request, so a client of version 1
// sees exactly what it always saw.
constexpr std::uint8_t kFirstProtocolVersion = 1;
constexpr std::uint8_t kProtocolVersion = 2;  // the newest

struct FrameHeader {
  std::uint8_t version = kFirstProtocolVersion;
  bool littleEndian = false;
  std::uint32_t bodyBytes = 0;
};

// Checks magic, version (1 to kProtocolVersion), order flag and the
// body-size limit.
LxStatus DecodeFrameHeader(const char* bytes, FrameHeader* header);

// Appends to *frame the header of a frame whose body, bodyBytes encoded in
// this machine's byte order, the caller appends next. Fails, appending
// nothing, when the body would be over kMaxFrameBodyBytes.
LxStatus AppendFrameHeader(std::size_t bodyBytes, std::uint8_t version, std::string* frame);

// Prefixes a body encoded in this machine's byte order with its header.
// Fails when the body is over kMaxFrameBodyBytes.
LxStatus BuildFrame(const char* body, std::size_t bodyBytes, std::string* frame,
                    std::uint8_t version = kFirstProtocolVersion);

// Collects bytes as they arrive on a stream and cuts them into frames.
// A header announcing a body over maxBodyBytes is a bad frame as soon as the
// header is in, so at most one frame of that size is ever buffered (plus
// whatever arrived with it). Not thread-safe: one per connection, used by
// the thread that reads it.
class FrameAssembler {
 public:
  enum class Result { kIncomplete, kFrame, kBadFrame };

  explicit FrameAssembler(std::uint32_t maxBodyBytes) : maxBodyBytes_(maxBodyBytes) {}

  void Append(const char* bytes, std::size_t count);

  // kFrame: the oldest complete frame is moved into header/body.
  // kBadFrame: the stream cannot be resynchronised; *error says why.
  Result Next(FrameHeader* header, std::string* body, LxStatus* error);

  std::size_t BufferedBytes() const { return buffer_.size(); }

 private:
  std::uint32_t maxBodyBytes_;
  std::string buffer_;
};

}  // namespace wire
}  // namespace qet_cfgserver
