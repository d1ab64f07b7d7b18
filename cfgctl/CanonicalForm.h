#pragma once

#include <string>
#include <vector>

#include "common/ConfigTypes.h"

namespace cfgctl {

// The canonical form of an effective configuration: the bytes cfgctl digest
// hashes, described for other tools in cfgctl(1) and the README. Equal
// configurations give equal bytes whatever order their keys were written in
// or arrive in, on any word size or byte order:
//   - keys in byte order (unsigned) of set, then section, then key;
//   - each key four fields, set, section, key and value, each a 4-byte
//     big-endian length followed by its bytes, so that no name or value,
//     whatever bytes it holds (NUL included), runs into the next.
// A whole configuration is its sets' bytes one after the other, sets in
// byte order of their names; nothing else comes before, between or after.
// Plain functions: any thread.
class CanonicalForm {
 public:
  // The bytes of one set's keys, in any order (sorted here; a key given
  // twice, which no export holds, is kept twice, the smaller value first).
  // Empty for no entries.
  static std::string OfSet(const std::string& set, std::vector<qet_cfgserver::ConfigEntry> entries);
};

}  // namespace cfgctl
