#include "common/Directories.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qet_cfgserver {

LxStatus CreateDirectories(const std::string& path, mode_t mode) {
  if (path.empty()) return LxStatus::InvalidArgument("empty directory name");
  std::string::size_type end = 0;
  while (end != std::string::npos) {
    end = path.find('/', end + 1);
    const std::string prefix = path.substr(0, end);
    if (mkdir(prefix.c_str(), mode) == 0) {
      if (chmod(prefix.c_str(), mode) == 0) continue;
    } else if (errno == EEXIST) {
      continue;
    }
    return LxStatus::IoError("cannot create directory " + prefix + ": " + strerror(errno));
  }
  struct stat status;
  if (stat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
    return LxStatus::IoError(path + " is not a directory");
  return LxStatus::Ok();
}

LxStatus SyncDirectory(const std::string& path) {
  const int directory = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory < 0) return LxStatus::IoError("cannot open directory " + path + ": " + strerror(errno));
  const bool synced = fsync(directory) == 0;
  const int error = errno;
  close(directory);
  if (!synced) return LxStatus::IoError("cannot sync directory " + path + ": " + strerror(error));
  return LxStatus::Ok();
}

bool PathExists(const std::string& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0;
}

std::string ParentDirectory(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace qet_cfgserver
