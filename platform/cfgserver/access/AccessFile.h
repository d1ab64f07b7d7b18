#pragma once

#include <sys/types.h>

#include <string>

#include "access/AccessRules.h"
#include "access/AccountDirectory.h"
#include "common/LxStatus.h"

namespace qet_cfgserver {

// The file of cfgserver --access: INI (the reader of ini/IniReader.h), one
// section per set or "*" for every set, with the keys read and write, each
// a list of Principals:
//
//   [network]
//   read = nobody, @netdev
//   write = 1001
//   [*]
//   read = admin
//
// Refused, nothing of it used: text the INI reader refuses or warns of (a
// repeated key; with its line), a key other than read and write, a list
// that Principals refuses (with its section and key), a file over
// kMaxFileBytes. The file itself must pass
// the safe-file rules (common/SafePath.h) for the server's user: it decides
// who may change the configuration.
class AccessFile {
 public:
  static constexpr std::size_t kMaxFileBytes = 1024 * 1024;

  // Reads path into *rules for a server running as serverUser. Errors name
  // the file. *rules is untouched on failure.
  static LxStatus Read(const std::string& path, uid_t serverUser, const AccountDirectory& accounts,
                       AccessRules* rules);

  // The same for text already read.
  static LxStatus Parse(const std::string& text, uid_t serverUser, const AccountDirectory& accounts,
                        AccessRules* rules);
};

}  // namespace qet_cfgserver
