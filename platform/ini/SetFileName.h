#pragma once

#include <string>

namespace qet_cfgserver {

// How a set is named by the file that holds it: "<set>.ini". Bytes of the
// set name other than letters, digits, '-', '_' and '.' (and a leading '.')
// are written as %XX (two uppercase hex digits), so any set name gives a
// safe file name and reads back the same.
class SetFileName {
 public:
  // "network" -> "network.ini"; "my set" -> "my%20set.ini".
  static std::string FileNameFor(const std::string& set);

  // The set a file holds: its name without directories and without the
  // last extension, %XX decoded ("/etc/defaults/my%20set.ini" -> "my set").
  // A '%' not followed by two hex digits stays as it is.
  static std::string SetNameFor(const std::string& path);
};

}  // namespace qet_cfgserver
