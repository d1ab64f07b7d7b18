#include "cfgwire/MessageEncoder.h"

namespace qet_cfgserver {
namespace wire {

ACE_OutputCDR& MessageEncoder::Reset() {
  // An encoder that once failed (out of memory) refuses every later write.
  if (cdr_->good_bit()) cdr_->reset();
  else cdr_.emplace(inline_, sizeof inline_);
  return *cdr_;
}

}  // namespace wire
}  // namespace qet_cfgserver
