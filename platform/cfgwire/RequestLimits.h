#pragma once

#include "LxStatus.h"
#include "Messages.h"

namespace qet_cfgserver {
namespace wire {

// Checks a request against the size limits of Limits.h, and that a write
// names its set, section and key. Client and server both check, so a request
// over a limit changes nothing wherever it is caught.
LxStatus CheckRequestLimits(const Request& request);

}  // namespace wire
}  // namespace qet_cfgserver
