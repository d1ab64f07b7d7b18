#pragma once

#include <string>

#include "common/ConfigTypes.h"

namespace qet_cfgserver {

// The value types of CfgAdmin.h, apart so that LxiConfigure can name them.
// Plain values: copy freely.

// A key where the operator's layer differs from the defaults.
//   kAdded: the key has no default; value is the operator's.
//   kChanged: value is the operator's, defaultValue the hidden default.
//   kDeleted: the operator deleted a key that has a default; value is empty.
struct LxCfgChange {
  enum class Kind { kAdded, kChanged, kDeleted };
  Kind kind = Kind::kAdded;
  std::string set, section, key;
  std::string value;         // effective; empty when deleted
  std::string defaultValue;  // empty when added
};

}  // namespace qet_cfgserver
