#pragma once

#include <ace/CDR_Stream.h>

#include <cstddef>
#include <optional>

namespace qet_cfgserver {
namespace wire {

// A CDR encoder in this machine's byte order, kept from one message to the
// next: setting one up costs more than encoding a short reply, so whoever
// encodes many keeps one. The first kInlineBytes of a message go into the
// object itself, a longer message into blocks the encoder allocates and
// frees at the next Reset(). Owned by whoever encodes; one thread at a time.
class MessageEncoder {
 public:
  MessageEncoder() { cdr_.emplace(inline_, sizeof inline_); }

  MessageEncoder(const MessageEncoder&) = delete;
  MessageEncoder& operator=(const MessageEncoder&) = delete;

  // The encoder, empty, for the next message.
  ACE_OutputCDR& Reset();

 private:
  static constexpr std::size_t kInlineBytes = 512;

  alignas(ACE_CDR::MAX_ALIGNMENT) char inline_[kInlineBytes];
  std::optional<ACE_OutputCDR> cdr_;  // writes into inline_ first
};

}  // namespace wire
}  // namespace qet_cfgserver
