#include "cfgwire/CfgItemStatus.h"

namespace qet_cfgserver {
namespace CfgItemStatus {

const char* LxCfgItemStatus::GetLabel(Status status) {
  switch (status) {
    case kSuccess: return "ok";
    case kKeyNotFound: return "key not found";
    case kNoServer: return "no server";
    case kTimeout: return "timeout";
    case kRejected: return "rejected";
    case kServerError: return "server error";
    case kAccessDenied: return "access denied";
  }
  return "unknown status";
}

}  // namespace CfgItemStatus
}  // namespace qet_cfgserver
