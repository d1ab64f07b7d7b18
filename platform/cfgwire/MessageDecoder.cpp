#include "cfgwire/MessageDecoder.h"

#include <cstring>

namespace qet_cfgserver {
namespace wire {

ACE_InputCDR* MessageDecoder::Reset(const char* bytes, std::size_t count, bool littleEndian) {
  // A reader that met a truncated message refuses every later read.
  if (!cdr_->good_bit()) cdr_.emplace(kInitialBytes);
  // Keeps the buffer when it is large enough; starts it aligned either way.
  if (cdr_->grow(count) != 0) return nullptr;
  if (count != 0) std::memcpy(cdr_->rd_ptr(), bytes, count);
  cdr_->reset_byte_order(littleEndian ? ACE_CDR::BYTE_ORDER_LITTLE_ENDIAN : ACE_CDR::BYTE_ORDER_BIG_ENDIAN);
  return &*cdr_;
}

}  // namespace wire
}  // namespace qet_cfgserver
