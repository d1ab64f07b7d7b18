#include "cfgmsg/LxCfgUtil.h"

namespace qet_cfgserver {

namespace {

constexpr const char* kBlanks = " \t\r\n\v\f";

}  // namespace

void LxCfgUtil::TrimSpaces(std::string& text) {
  const std::string::size_type first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) {
    text.clear();
    return;
  }
  const std::string::size_type last = text.find_last_not_of(kBlanks);
  text = text.substr(first, last - first + 1);
}

}  // namespace qet_cfgserver
