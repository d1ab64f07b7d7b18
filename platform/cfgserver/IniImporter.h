#pragma once

#include <string>
#include <vector>

#include "ConfigStore.h"
#include "LxStatus.h"

namespace qet_cfgserver {

// Loads default values from an INI file into the set named after the file's
// stem (/etc/defaults/network.ini -> set "network"). Keys the store already
// holds keep their values, so the same defaults can be imported at every
// start without undoing an operator's changes.
//
// The file is parsed by ACE (ACE_Ini_ImpExp into an ACE_Configuration_Heap),
// which gives these rules:
//   - "[section]" starts a section; text after "]" is ignored; blanks inside
//     the brackets belong to the name; "[a\b]" is the section "a\b".
//   - "key = value": blanks (spaces, tabs, CR) around the key and the value
//     are dropped; the value is everything after the first '='.
//   - A value wrapped in double quotes loses the outer pair, which keeps
//     blanks at its ends: k = "  x  " is "  x  ". Inner quotes stay.
//   - Lines starting with '#' or ';' (after blanks) and blank lines are
//     comments. There are no end-of-line comments: "k = 1 # x" is "1 # x".
//   - A repeated key takes the last value.
// A file is refused, and nothing of it imported, when it cannot be read, a
// line is neither a section, a comment nor "key = value", a key appears
// before the first section, a line is longer than about 4 KB, a key is
// empty, or a name or value is over the wire limits.
class IniImporter {
 public:
  // The set a file imports into: its name without directories and without
  // the last extension.
  static std::string SetNameFor(const std::string& path);

  // Parses path into entries (unordered). Fails with a message naming the file.
  static LxStatus Read(const std::string& path, std::vector<ConfigEntry>* entries);

  // Read, then ConfigStore::ImportDefaults into SetNameFor(path).
  static LxStatus Import(const std::string& path, ConfigStore* store);
};

}  // namespace qet_cfgserver
