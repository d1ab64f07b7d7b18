#pragma once

#include <ace/CDR_Stream.h>
#include <ace/Message_Block.h>

#include <cstddef>

namespace qet_cfgserver {
namespace wire {

// A CDR reader over a private, 8-aligned copy of received bytes. CDR aligns
// fields by address, so bytes cut out of a stream buffer must be copied to an
// aligned block before they can be read. Reads in the given byte order.
class AlignedInput {
 public:
  AlignedInput(const char* bytes, std::size_t count, bool littleEndian);

  AlignedInput(const AlignedInput&) = delete;
  AlignedInput& operator=(const AlignedInput&) = delete;

  ACE_InputCDR& cdr() { return cdr_; }

 private:
  static const ACE_Message_Block* Fill(ACE_Message_Block& block, const char* bytes, std::size_t count);

  ACE_Message_Block block_;
  ACE_InputCDR cdr_;
};

}  // namespace wire
}  // namespace qet_cfgserver
