#pragma once

#include <string>

#include "common/LxStatus.h"
#include "schema/SchemaSet.h"

namespace qet_cfgserver {

// Checks a file of factory defaults against the schemas before the server
// imports it: a default its schema refuses is a build error of the
// firmware, so the server must not start with it. The file is read as
// cfgserver --import reads it (IniReader::ReadFile).
class DefaultsCheck {
 public:
  // InvalidArgument naming every refused entry, one per line:
  // "PATH: line N: [section] key: reason"; the reader's own refusal as is.
  static LxStatus CheckFile(const SchemaSet& schemas, const std::string& path);
};

}  // namespace qet_cfgserver
