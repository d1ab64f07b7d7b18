#pragma once

#include <string>
#include <vector>

#include "common/LxStatus.h"
#include "store/ConfigStore.h"

namespace qet_cfgserver {

// Loads the factory defaults of the set named after an INI file
// (SetFileName: /etc/defaults/network.ini -> set "network"; %XX decoded, as
// `cfgctl export --dir` names its files) through ConfigStore::ImportDefaults,
// which keeps an operator's changes, so the same defaults can be imported at
// every start.
//
// The format is IniReader's (the one cfgctl export writes): "[section]",
// "key = value", '#' and ';' comments, blanks around names and values
// dropped, double-quoted fields with backslash escapes. One set per file:
// "; set NAME" lines are comments here.
// A file is refused, and nothing of it imported, when it cannot be read or
// IniReader refuses it (the message names the file and the line).
class IniImporter {
 public:
  // The set a file imports into.
  static std::string SetNameFor(const std::string& path);

  // Parses path into entries (in file order, a repeated key once with its
  // last value). Fails with a message naming the file.
  static LxStatus Read(const std::string& path, std::vector<ConfigEntry>* entries);

  // Read, then ConfigStore::ImportDefaults into SetNameFor(path).
  static LxStatus Import(const std::string& path, ConfigStore* store);
};

}  // namespace qet_cfgserver
