#include "access/AccountDirectory.h"

#include <errno.h>
#include <grp.h>
#include <pwd.h>

namespace qet_cfgserver {

namespace {

// The lookups ask for a bigger buffer with ERANGE; an entry past the last
// size is not worth reading.
constexpr std::size_t kFirstBufferBytes = 1024;
constexpr std::size_t kLastBufferBytes = 1024 * 1024;

// Calls lookup(entry, buffer, size, &found) with growing buffers; true when
// it found an entry (which points into *buffer).
template <typename Entry, typename Lookup>
bool LookUp(Lookup lookup, Entry* entry, std::vector<char>* buffer) {
  for (std::size_t bytes = kFirstBufferBytes; bytes <= kLastBufferBytes; bytes *= 4) {
    buffer->assign(bytes, '\0');
    Entry* found = nullptr;
    const int error = lookup(entry, buffer->data(), buffer->size(), &found);
    if (error != ERANGE) return error == 0 && found != nullptr;
  }
  return false;
}

class SystemAccounts : public AccountDirectory {
 public:
  bool FindUser(const std::string& name, uid_t* uid) const override {
    struct passwd entry;
    std::vector<char> buffer;
    const bool found = LookUp(
        [&name](struct passwd* into, char* bytes, std::size_t size, struct passwd** result) {
          return getpwnam_r(name.c_str(), into, bytes, size, result);
        },
        &entry, &buffer);
    if (found) *uid = entry.pw_uid;
    return found;
  }

  bool FindGroup(const std::string& name, Group* group) const override {
    struct group entry;
    std::vector<char> buffer;
    const bool found = LookUp(
        [&name](struct group* into, char* bytes, std::size_t size, struct group** result) {
          return getgrnam_r(name.c_str(), into, bytes, size, result);
        },
        &entry, &buffer);
    if (!found) return false;
    group->gid = entry.gr_gid;
    group->members.clear();
    // A listed member without a user entry can never connect: skipped.
    for (char** member = entry.gr_mem; *member != nullptr; ++member) {
      uid_t uid;
      if (FindUser(*member, &uid)) group->members.push_back(uid);
    }
    return true;
  }
};

}  // namespace

const AccountDirectory& AccountDirectory::System() {
  static const SystemAccounts accounts;
  return accounts;
}

}  // namespace qet_cfgserver
