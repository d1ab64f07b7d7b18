#pragma once

#include "cfgwire/Messages.h"
#include "common/LxStatus.h"

namespace qet_cfgserver {
namespace wire {

// Checks a request against the size limits of Limits.h, and that a write
// names its set, section and key; for version 2: that a scope's level is
// known and its names are there (a delete needs at least a set), that an
// import or export names its set, that import entries have a section and a
// key within the limits (and only import batches carry entries), that a
// history asks for at most kMaxRevisionsPerReply revisions, and that only
// a change awaits confirmation, for at most kMaxConfirmSeconds. Client and server
// both check, so a request over a limit changes nothing wherever it is
// caught.
LxStatus CheckRequestLimits(const Request& request);

}  // namespace wire
}  // namespace qet_cfgserver
