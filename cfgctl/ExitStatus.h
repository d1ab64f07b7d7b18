#pragma once

#include "cfgwire/CfgItemStatus.h"

namespace cfgctl {

// cfgctl's exit statuses, one per outcome a script may act on.
enum ExitStatus : int {
  kDone = 0,
  kNotFound = 1,    // get of an absent key, delete or export of something absent
  kUsage = 2,       // a bad command line
  kNoServer = 3,    // no server answers, or it did not answer in time
  kRejected = 4,    // the server refused the request or failed to carry it out
  kFileError = 5,   // a file could not be read or written, is not valid INI, or a schema has errors
  kDenied = 6,      // the server's access rules refused, or its socket refused this user
};

// The exit status for a request's outcome.
ExitStatus ExitStatusFor(qet_cfgserver::CfgItemStatus::Status status);

}  // namespace cfgctl
