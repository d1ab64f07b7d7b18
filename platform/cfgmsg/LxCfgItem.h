#pragma once

#include <string>

namespace qet_cfgserver {

class LxCfgItem {
 public:
  // Splits an operator's line into up to four comma-separated items:
  //
  //   set,section,key,value
  //
  // - The first three items end at the first, second and third comma; the
  //   value runs to the end of the line, so a value may hold commas.
  // - Each item is trimmed of surrounding blanks (LxCfgUtil::TrimSpaces).
  // - An absent item, or one that is empty between two commas, leaves its
  //   output empty; a line without a comma is all set.
  // Every output is overwritten.
  static void IdentifyCiArgs(const std::string& line, std::string& set, std::string& section, std::string& key,
                            std::string& value);
};

}  // namespace qet_cfgserver
