#pragma once

#include <cstdint>

namespace qet_cfgserver {

// The outcome of a get or set request. The numeric values travel on the wire
// and must never be renumbered.
namespace CfgItemStatus {

enum Status : std::uint32_t {
  kSuccess = 0,       // "ok"
  kKeyNotFound = 1,   // "key not found": a get of a key that does not exist
  kNoServer = 2,      // "no server": no server answers at the endpoint, or none the client may trust
  kTimeout = 3,       // "timeout": the server did not answer in time
  kRejected = 4,      // "rejected": the request broke a rule (size limit, empty name, wrong command)
  kServerError = 5,   // "server error": the server failed to carry the request out
  kAccessDenied = 6,  // "access denied": the server's rules, or its socket's mode, refuse this user
};

// The highest value a reply may carry.
constexpr Status kLastStatus = kAccessDenied;

class LxCfgItemStatus {
 public:
  // A NUL-terminated label with static storage; an unknown value gives
  // "unknown status".
  static const char* GetLabel(Status status);
};

}  // namespace CfgItemStatus

// The request codes passed with get and set requests.
namespace CfgItemCommand {

enum Command : std::uint32_t {
  kGet = 3,
  kSet = 6,
};

}  // namespace CfgItemCommand

}  // namespace qet_cfgserver
