#include "store/StatusContext.h"

namespace qet_cfgserver {

LxStatus WithContext(const std::string& context, const LxStatus& status) {
  const std::string message = context + ": " + status.message();
  switch (status.code()) {
    case LxStatus::Code::kOk: return status;
    case LxStatus::Code::kCorruption: return LxStatus::Corruption(message);
    case LxStatus::Code::kUnavailable: return LxStatus::Unavailable(message);
    case LxStatus::Code::kInvalidArgument: return LxStatus::InvalidArgument(message);
    default: return LxStatus::IoError(message);
  }
}

}  // namespace qet_cfgserver
