#include "cfgwire/Frame.h"

#include <ace/CDR_Stream.h>

#include <cstring>

#include "cfgwire/Limits.h"

namespace qet_cfgserver {
namespace wire {

namespace {

constexpr char kMagic0 = 'Q';
constexpr char kMagic1 = 'C';
constexpr std::size_t kLengthOffset = 4;
constexpr bool kLittleEndianHere = ACE_CDR_BYTE_ORDER == 1;

}  // namespace

LxStatus DecodeFrameHeader(const char* bytes, FrameHeader* header) {
  if (bytes[0] != kMagic0 || bytes[1] != kMagic1) return LxStatus::Corruption("frame does not start with the magic bytes");
  header->version = static_cast<std::uint8_t>(bytes[2]);
  if (header->version < kFirstProtocolVersion || header->version > kProtocolVersion)
    return LxStatus::InvalidArgument("unsupported protocol version " + std::to_string(header->version));
  if (bytes[3] != 0 && bytes[3] != 1) return LxStatus::Corruption("invalid byte-order flag");
  header->littleEndian = bytes[3] == 1;

  // Copied out first: the length need not be aligned where the caller's
  // bytes are, and ACE's swap reads it as a word.
  alignas(ACE_CDR::ULong) char length[ACE_CDR::LONG_SIZE];
  std::memcpy(length, bytes + kLengthOffset, sizeof length);
  ACE_CDR::ULong bodyBytes = 0;
  if (header->littleEndian == kLittleEndianHere)
    std::memcpy(&bodyBytes, length, sizeof bodyBytes);
  else
    ACE_CDR::swap_4(length, reinterpret_cast<char*>(&bodyBytes));
  if (bodyBytes > kMaxFrameBodyBytes)
    return LxStatus::InvalidArgument("frame body of " + std::to_string(bodyBytes) + " bytes is over the limit");
  header->bodyBytes = bodyBytes;
  return LxStatus::Ok();
}

LxStatus AppendFrameHeader(std::size_t bodyBytes, std::uint8_t version, std::string* frame) {
  if (bodyBytes > kMaxFrameBodyBytes)
    return LxStatus::InvalidArgument("frame body of " + std::to_string(bodyBytes) + " bytes is over the limit");
  // The length goes in this machine's order, which the order flag names.
  const ACE_CDR::ULong length = static_cast<ACE_CDR::ULong>(bodyBytes);
  char header[kFrameHeaderBytes] = {kMagic0, kMagic1, static_cast<char>(version),
                                    static_cast<char>(kLittleEndianHere ? 1 : 0)};
  static_assert(kLengthOffset + sizeof length == kFrameHeaderBytes, "the length ends the header");
  std::memcpy(header + kLengthOffset, &length, sizeof length);
  frame->append(header, sizeof header);
  return LxStatus::Ok();
}

LxStatus BuildFrame(const char* body, std::size_t bodyBytes, std::string* frame, std::uint8_t version) {
  frame->clear();
  frame->reserve(kFrameHeaderBytes + bodyBytes);
  LxStatus status = AppendFrameHeader(bodyBytes, version, frame);
  if (status.ok()) frame->append(body, bodyBytes);
  return status;
}

void FrameAssembler::Append(const char* bytes, std::size_t count) { buffer_.append(bytes, count); }

FrameAssembler::Result FrameAssembler::Next(FrameHeader* header, std::string* body, LxStatus* error) {
  if (buffer_.size() < kFrameHeaderBytes) return Result::kIncomplete;
  LxStatus status = DecodeFrameHeader(buffer_.data(), header);
  if (status.ok() && header->bodyBytes > maxBodyBytes_)
    status = LxStatus::InvalidArgument("frame body of " + std::to_string(header->bodyBytes) +
                                       " bytes is over the limit of " + std::to_string(maxBodyBytes_));
  if (!status.ok()) {
    *error = status;
    return Result::kBadFrame;
  }
  const std::size_t frameBytes = kFrameHeaderBytes + header->bodyBytes;
  if (buffer_.size() < frameBytes) return Result::kIncomplete;
  body->assign(buffer_, kFrameHeaderBytes, header->bodyBytes);
  buffer_.erase(0, frameBytes);
  return Result::kFrame;
}

}  // namespace wire
}  // namespace qet_cfgserver
