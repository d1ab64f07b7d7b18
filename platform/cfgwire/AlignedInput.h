#pragma once

#include <ace/CDR_Stream.h>

#include <cstddef>
#include <memory>

namespace qet_cfgserver {
namespace wire {

// A CDR reader over a private, 8-aligned copy of received bytes. CDR aligns
// fields by address, so bytes cut out of a stream buffer must be copied to an
// aligned buffer before they can be read. A request's few hundred bytes are
// copied into the object itself, so decoding one takes no buffer from the
// heap; longer bodies get one. Reads in the given byte order. Lives on the
// stack of the one thread that decodes.
class AlignedInput {
 public:
  AlignedInput(const char* bytes, std::size_t count, bool littleEndian);

  AlignedInput(const AlignedInput&) = delete;
  AlignedInput& operator=(const AlignedInput&) = delete;

  ACE_InputCDR& cdr() { return cdr_; }

 private:
  static constexpr std::size_t kInlineBytes = 256;

  // The aligned copy of bytes, in inline_ or in heap_.
  const char* Copy(const char* bytes, std::size_t count);

  alignas(ACE_CDR::MAX_ALIGNMENT) char inline_[kInlineBytes];
  std::unique_ptr<ACE_CDR::ULongLong[]> heap_;
  ACE_InputCDR cdr_;  // reads the copy in place; declared last, built last
};

}  // namespace wire
}  // namespace qet_cfgserver
