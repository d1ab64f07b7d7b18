#include "cfgwire/AlignedInput.h"

#include <cstring>

namespace qet_cfgserver {
namespace wire {

AlignedInput::AlignedInput(const char* bytes, std::size_t count, bool littleEndian)
    : cdr_(Copy(bytes, count), count,
           littleEndian ? ACE_CDR::BYTE_ORDER_LITTLE_ENDIAN : ACE_CDR::BYTE_ORDER_BIG_ENDIAN) {}

const char* AlignedInput::Copy(const char* bytes, std::size_t count) {
  char* copy = inline_;
  if (count > kInlineBytes) {
    // Whole 8-byte words: new[] of them is aligned for any CDR field.
    const std::size_t words = (count + sizeof(ACE_CDR::ULongLong) - 1) / sizeof(ACE_CDR::ULongLong);
    heap_.reset(new ACE_CDR::ULongLong[words]);
    copy = reinterpret_cast<char*>(heap_.get());
  }
  if (count != 0) std::memcpy(copy, bytes, count);
  return copy;
}

}  // namespace wire
}  // namespace qet_cfgserver
