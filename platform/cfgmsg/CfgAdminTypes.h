#pragma once

#include <string>

namespace qet_cfgserver {

// The value types of CfgAdmin.h, apart so that LxiConfigure can name them.
// Plain values: copy freely.

// What an operation covers. Names the level needs: kSet a set; kSection a
// set and a section; kKey all three. Names beyond the level are ignored.
struct LxCfgScope {
  enum class Level { kAll, kSet, kSection, kKey };
  Level level = Level::kAll;
  std::string set, section, key;
};

// One key of a set with its value, as export returns and import takes it.
struct LxCfgEntry {
  std::string section, key, value;
};

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
