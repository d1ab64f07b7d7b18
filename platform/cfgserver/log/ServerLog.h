#pragma once

#include "dlog/dlog.h"

namespace qet_cfgserver {

// The source name of every log line the server writes.
constexpr const char* kServerLogSource = "cfgserver";

}  // namespace qet_cfgserver
