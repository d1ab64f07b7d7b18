#pragma once

#include <string>

namespace qet_cfgserver {

class LxCfgUtil {
 public:
  // Removes leading and trailing blanks in place: space, tab, carriage
  // return, line feed, vertical tab and form feed. Blanks inside are kept.
  static void TrimSpaces(std::string& text);
};

}  // namespace qet_cfgserver
