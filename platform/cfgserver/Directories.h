#pragma once

#include <sys/types.h>

#include <string>

#include "LxStatus.h"

namespace qet_cfgserver {

// Creates path and any missing parents with mode (as mkdir -p). Existing
// directories are left as they are; a non-directory in the way fails.
LxStatus CreateDirectories(const std::string& path, mode_t mode);

// The directory part of path ("." when there is none).
std::string ParentDirectory(const std::string& path);

}  // namespace qet_cfgserver
