#include "cfgwire/Frame.h"

#include <ace/CDR_Stream.h>

#include "cfgwire/AlignedInput.h"
#include "cfgwire/Limits.h"

namespace qet_cfgserver {
namespace wire {

namespace {

constexpr char kMagic0 = 'Q';
constexpr char kMagic1 = 'C';
constexpr std::size_t kLengthOffset = 4;

}  // namespace

LxStatus DecodeFrameHeader(const char* bytes, FrameHeader* header) {
  if (bytes[0] != kMagic0 || bytes[1] != kMagic1) return LxStatus::Corruption("frame does not start with the magic bytes");
  header->version = static_cast<std::uint8_t>(bytes[2]);
  if (header->version < kFirstProtocolVersion || header->version > kProtocolVersion)
    return LxStatus::InvalidArgument("unsupported protocol version " + std::to_string(header->version));
  if (bytes[3] != 0 && bytes[3] != 1) return LxStatus::Corruption("invalid byte-order flag");
  header->littleEndian = bytes[3] == 1;

  // Four bytes at offset 4 are 4-aligned within the header, so CDR reads them
  // without padding once the header sits in an aligned buffer.
  AlignedInput lengthReader(bytes, kFrameHeaderBytes, header->littleEndian);
  lengthReader.cdr().skip_bytes(kLengthOffset);
  ACE_CDR::ULong bodyBytes = 0;
  if (!lengthReader.cdr().read_ulong(bodyBytes)) return LxStatus::Corruption("truncated frame header");
  if (bodyBytes > kMaxFrameBodyBytes)
    return LxStatus::InvalidArgument("frame body of " + std::to_string(bodyBytes) + " bytes is over the limit");
  header->bodyBytes = bodyBytes;
  return LxStatus::Ok();
}

LxStatus BuildFrame(const char* body, std::size_t bodyBytes, std::string* frame, std::uint8_t version) {
  if (bodyBytes > kMaxFrameBodyBytes)
    return LxStatus::InvalidArgument("frame body of " + std::to_string(bodyBytes) + " bytes is over the limit");
  ACE_OutputCDR header(kFrameHeaderBytes + ACE_CDR::MAX_ALIGNMENT);
  header.write_char(kMagic0);
  header.write_char(kMagic1);
  header.write_octet(version);
  header.write_octet(static_cast<ACE_CDR::Octet>(ACE_CDR_BYTE_ORDER));
  header.write_ulong(static_cast<ACE_CDR::ULong>(bodyBytes));
  frame->assign(header.begin()->rd_ptr(), header.total_length());
  frame->append(body, bodyBytes);
  return LxStatus::Ok();
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
