#pragma once

#include <sys/types.h>

#include <string>

#include "common/LxStatus.h"

namespace qet_cfgserver {

// Creates path and any missing parents with exactly mode, whatever the
// umask (as mkdir -p, then chmod). Existing directories are left as they
// are; a non-directory in the way fails.
LxStatus CreateDirectories(const std::string& path, mode_t mode);

// Makes the directory's entries (files created, renamed or removed in it)
// durable: fsync on the directory.
LxStatus SyncDirectory(const std::string& path);

// Whether anything exists at path (a dangling link counts).
bool PathExists(const std::string& path);

// The directory part of path ("." when there is none).
std::string ParentDirectory(const std::string& path);

}  // namespace qet_cfgserver
