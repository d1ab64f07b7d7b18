#pragma once

#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/RevisionTypes.h"
#include "common/UserName.h"

namespace qet_cfgserver {

// What a writing call of the store is told about its change, for history:
// who asks and what they asked, as one line ("set network eth0 mtu"); and
// whether the change is to be rolled back unless confirmed within
// confirmSeconds (0: a plain change).
struct ChangeNote {
  ChangeAuthor author;
  std::string summary;
  std::uint32_t confirmSeconds = 0;
};

// Changes applied at once that are rolled back unless confirmed in time:
// every revision after base (changes made meanwhile included).
struct PendingConfirmation {
  std::uint64_t base = 0;      // the revision a rollback returns to
  std::uint64_t revision = 0;  // the newest change awaiting confirmation
  std::int64_t deadline = 0;   // seconds since 1970-01-01 UTC
};

// What a committed writing call changed: its revision and, in (set,
// section, key) order, each key with its value before and after. number 0
// and no changes when it changed nothing (then no revision was made).
struct CommittedRevision {
  std::uint64_t number = 0;
  std::vector<KeyChange> changes;
};

// The server itself, as the author of the changes no client asked for:
// defaults imported at start, a confirmation that ran out.
inline ChangeAuthor ServerItself() {
  ChangeAuthor author;
  author.uid = static_cast<std::uint32_t>(geteuid());
  author.userName = UserName(geteuid());
  author.pid = static_cast<std::uint32_t>(getpid());
  author.program = author.client = "cfgserver";
  return author;
}

}  // namespace qet_cfgserver
