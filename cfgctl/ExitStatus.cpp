#include "cfgctl/ExitStatus.h"

namespace cfgctl {

ExitStatus ExitStatusFor(qet_cfgserver::CfgItemStatus::Status status) {
  using qet_cfgserver::CfgItemStatus::Status;
  switch (status) {
    case Status::kSuccess: return kDone;
    case Status::kKeyNotFound: return kNotFound;
    case Status::kNoServer:
    case Status::kTimeout: return kNoServer;
    case Status::kRejected:
    case Status::kServerError: return kRejected;
    case Status::kAccessDenied: return kDenied;
  }
  return kRejected;
}

}  // namespace cfgctl
