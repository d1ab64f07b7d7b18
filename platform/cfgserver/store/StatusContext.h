#pragma once

#include <string>

#include "common/LxStatus.h"

namespace qet_cfgserver {

// status with "context: " in front of its message, its kind kept: a
// failure that names the file it concerns.
LxStatus WithContext(const std::string& context, const LxStatus& status);

}  // namespace qet_cfgserver
