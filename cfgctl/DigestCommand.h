#pragma once

#include <string>
#include <vector>

#include "cfgctl/ExitStatus.h"
#include "cfgctl/Output.h"
#include "cfgmsg/LxiConfigure.h"

namespace cfgctl {

// cfgctl digest: the SHA-256 of the effective configuration (what reads
// see) in its canonical form (CanonicalForm), of the named set or, when
// none is named, of every set this user may read. Read from the sets'
// exports, one set after another, so a write made meanwhile may show in
// part, as in an export. One thread.
class DigestCommand {
 public:
  // Prints the digest as 64 lowercase hexadecimal digits and a newline.
  // A named set that does not exist is kNotFound, and nothing is printed;
  // so is any failed request, with its status.
  static ExitStatus Run(qet_cfgserver::LxiConfigure& client, const std::vector<std::string>& names, Output& output);
};

}  // namespace cfgctl
