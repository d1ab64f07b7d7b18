#pragma once

#include <string>

#include "common/LxStatus.h"
#include "store/ConfigStore.h"

namespace qet_cfgserver {

// Loads factory defaults from an INI file through ConfigLayers::ImportDefaults,
// which keeps an operator's changes, so the same defaults can be imported at
// every start.
//
// The file is read by IniReader, as cfgctl import reads it, and gives the
// same sets: a plain file the set named after it (SetFileName:
// /etc/defaults/network.ini -> set "network"; %XX decoded, as `cfgctl export
// --dir` names its files), an export (first line "; set NAME") the sets it
// names. The reader's warnings (repeated keys, with file and line) go to the
// server's log, which is standard error.
// A file is refused, and nothing of it imported, when it cannot be read or
// IniReader refuses it (the message names the file and the line). Each set
// is one transaction, and a revision by the server itself (ServerItself())
// when it changes what reads see.
class IniImporter {
 public:
  static LxStatus Import(const std::string& path, ConfigStore* store);
};

}  // namespace qet_cfgserver
