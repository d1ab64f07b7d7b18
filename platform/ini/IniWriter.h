#pragma once

#include <string>
#include <vector>

#include "ini/IniReader.h"

namespace qet_cfgserver {

// Writes a set as the INI text IniReader reads back to the same entries:
//
//   ; set network
//
//   [eth0]
//   mtu = 1500
//
// A "; set NAME" line, then per section a blank line, "[section]" and one
// "key = value" line per key, in the order given; names and values quoted
// only where IniField says they must be.
class IniWriter {
 public:
  static std::string WriteSet(const std::string& set, const std::vector<ConfigEntry>& entries);
};

}  // namespace qet_cfgserver
