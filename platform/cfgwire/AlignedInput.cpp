#include "cfgwire/AlignedInput.h"

namespace qet_cfgserver {
namespace wire {

AlignedInput::AlignedInput(const char* bytes, std::size_t count, bool littleEndian)
    : block_(count + ACE_CDR::MAX_ALIGNMENT),
      cdr_(Fill(block_, bytes, count),
           littleEndian ? ACE_CDR::BYTE_ORDER_LITTLE_ENDIAN : ACE_CDR::BYTE_ORDER_BIG_ENDIAN) {}

const ACE_Message_Block* AlignedInput::Fill(ACE_Message_Block& block, const char* bytes, std::size_t count) {
  ACE_CDR::mb_align(&block);
  block.copy(bytes, count);
  return &block;
}

}  // namespace wire
}  // namespace qet_cfgserver
