#include "common/UserName.h"

#include <errno.h>
#include <pwd.h>

#include <vector>

namespace qet_cfgserver {

namespace {

// getpwuid_r asks for a bigger buffer with ERANGE; a user entry past this
// is not worth reading.
constexpr std::size_t kFirstBufferBytes = 1024;
constexpr std::size_t kLastBufferBytes = 64 * 1024;

}  // namespace

std::string UserName(uid_t uid) {
  for (std::size_t bytes = kFirstBufferBytes; bytes <= kLastBufferBytes; bytes *= 4) {
    std::vector<char> buffer(bytes);
    struct passwd entry;
    struct passwd* found = nullptr;
    const int error = getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE) continue;
    if (error == 0 && found != nullptr) return found->pw_name;
    break;
  }
  return std::to_string(uid);
}

std::string DescribeUser(uid_t uid) { return UserName(uid) + " (uid " + std::to_string(uid) + ")"; }

}  // namespace qet_cfgserver
