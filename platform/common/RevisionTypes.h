#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qet_cfgserver {

// The plain values of the server's history, shared like ConfigTypes.h by the
// store that keeps them, the wire that carries them and the client library
// that hands them to programs. Copy freely.
//
// A revision is one committed change of what reads see: a number that only
// grows (the first is 1; 0 means "none yet"), when, who, and for each key it
// changed the value before and after.

// Who made a change, as far as the server knows: the peer's credentials
// where the server reads them, and what the client said of itself.
struct ChangeAuthor {
  static constexpr std::uint32_t kUnknownUser = 0xffffffffu;  // as uid_t -1
  static constexpr std::uint32_t kUnknownProcess = 0;

  std::uint32_t uid = kUnknownUser;
  std::string userName;  // empty when unknown
  std::uint32_t pid = kUnknownProcess;
  std::string program;  // empty when unknown
  std::string client;   // the name the client gave itself
  std::string tag;      // the client's free text for the request
};

// One key a revision changed, or that differs between two revisions.
// before/after absent: the key did not exist.
struct KeyChange {
  std::string set, section, key;
  std::optional<std::string> before, after;
};

// One revision as a history lists it.
struct RevisionEntry {
  std::uint64_t number = 0;
  std::int64_t time = 0;  // seconds since 1970-01-01 UTC
  ChangeAuthor author;
  std::string summary;    // what was done, one line: "set network eth0 mtu", "rollback to 12"
  std::uint32_t keys = 0;  // how many keys it changed
};

}  // namespace qet_cfgserver
