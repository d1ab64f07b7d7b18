#pragma once

#include <ace/CDR_Stream.h>

#include <cstddef>
#include <optional>

namespace qet_cfgserver {
namespace wire {

// A CDR reader kept from one message to the next, with its own aligned
// buffer: CDR aligns fields by address, so received bytes are copied there
// before they are read, and setting a reader up costs more than decoding a
// short request. The buffer grows to the largest message read and is kept.
// Owned by whoever decodes; one thread at a time. AlignedInput is the same
// for a single message.
class MessageDecoder {
 public:
  MessageDecoder() { cdr_.emplace(kInitialBytes); }

  MessageDecoder(const MessageDecoder&) = delete;
  MessageDecoder& operator=(const MessageDecoder&) = delete;

  // The reader over a copy of count bytes, reading in the given byte order;
  // null when no buffer that large could be had.
  ACE_InputCDR* Reset(const char* bytes, std::size_t count, bool littleEndian);

 private:
  static constexpr std::size_t kInitialBytes = 512;

  std::optional<ACE_InputCDR> cdr_;
};

}  // namespace wire
}  // namespace qet_cfgserver
