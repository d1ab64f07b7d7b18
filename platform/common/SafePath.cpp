#include "common/SafePath.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "common/Directories.h"
#include "common/UserName.h"

namespace qet_cfgserver {

namespace {

constexpr mode_t kWritableByOthers = S_IWGRP | S_IWOTH;

bool Trusted(uid_t owner, uid_t user) { return owner == 0 || owner == user; }

LxStatus Failure(const std::string& what, const std::string& path) {
  if (errno == ENOENT || errno == ENOTDIR) return LxStatus::NotFound(path + " does not exist");
  if (errno == EACCES || errno == EPERM) return LxStatus::PermissionDenied("permission denied: " + path);
  return LxStatus::IoError("cannot " + what + " " + path + ": " + strerror(errno));
}

LxStatus ReadLink(const std::string& link, std::string* destination) {
  char buffer[PATH_MAX];
  const ssize_t length = readlink(link.c_str(), buffer, sizeof buffer);
  if (length < 0) return Failure("read the link", link);
  if (static_cast<std::size_t>(length) == sizeof buffer) return LxStatus::Unavailable(link + ": link too long");
  const std::string target(buffer, static_cast<std::size_t>(length));
  *destination = target[0] == '/' ? target : ParentDirectory(link) + "/" + target;
  return LxStatus::Ok();
}

// Follows the links at path that root or user own, to the first path that
// is not a link: *end, with its status.
LxStatus FollowTrustedLinks(const std::string& path, uid_t user, std::string* end, struct stat* status) {
  std::string current = path;
  for (int links = 0;; ++links) {
    if (lstat(current.c_str(), status) != 0) return Failure("examine", current);
    if (!S_ISLNK(status->st_mode)) break;
    if (!Trusted(status->st_uid, user))
      return LxStatus::Unavailable(current + " is a symbolic link owned by " + DescribeUser(status->st_uid));
    if (links == kMaxSymbolicLinks) return LxStatus::Unavailable(path + ": too many symbolic links");
    std::string destination;
    LxStatus read = ReadLink(current, &destination);
    if (!read.ok()) return read;
    current = destination;
  }
  *end = current;
  return LxStatus::Ok();
}

// Who could have put end (with status) where it is: its parent directory.
LxStatus CheckParent(const std::string& path, const std::string& end, const struct stat& status, uid_t user) {
  std::unique_ptr<char, decltype(&free)> real(realpath(end.c_str(), nullptr), &free);
  if (!real) return Failure("resolve", path);
  const std::string parent = ParentDirectory(real.get());
  struct stat parentStatus;
  if (stat(parent.c_str(), &parentStatus) != 0) return Failure("examine", parent);
  if ((parentStatus.st_mode & kWritableByOthers) == 0) return LxStatus::Ok();
  if ((parentStatus.st_mode & S_ISVTX) == 0)
    return LxStatus::Unavailable(path + " lies in " + parent + ", where others may create and remove entries");
  if (!Trusted(status.st_uid, user))
    return LxStatus::Unavailable(path + " belongs to " + DescribeUser(status.st_uid) + " and lies in " + parent +
                                 ", where others may create entries");
  return LxStatus::Ok();
}

// path without trailing slashes, which would make lstat() follow a link.
std::string WithoutTrailingSlashes(const std::string& path) {
  const std::string::size_type last = path.find_last_not_of('/');
  return last == std::string::npos ? path.substr(0, 1) : path.substr(0, last + 1);
}

LxStatus CheckSafe(const std::string& given, uid_t user, Owner owner, bool directory) {
  const std::string path = WithoutTrailingSlashes(given);
  std::string end;
  struct stat status;
  LxStatus followed = FollowTrustedLinks(path, user, &end, &status);
  if (!followed.ok()) return followed;
  if (directory && !S_ISDIR(status.st_mode)) return LxStatus::Unavailable(path + " is not a directory");
  if (!directory && !S_ISREG(status.st_mode)) return LxStatus::Unavailable(path + " is not a regular file");
  if ((status.st_mode & kWritableByOthers) != 0)
    return LxStatus::Unavailable(path + " is writable by others (its group or everyone)");
  if (owner == Owner::kRootOrUser && !Trusted(status.st_uid, user))
    return LxStatus::Unavailable(path + " belongs to " + DescribeUser(status.st_uid));
  return CheckParent(path, end, status, user);
}

}  // namespace

LxStatus CheckSafeDirectory(const std::string& path, uid_t user, Owner owner) {
  return CheckSafe(path, user, owner, true);
}

LxStatus CheckSafeFile(const std::string& path, uid_t user) { return CheckSafe(path, user, Owner::kRootOrUser, false); }

}  // namespace qet_cfgserver
