#include "schema/types/BooleanType.h"

namespace qet_cfgserver {

namespace {

constexpr const char* kSpellings[] = {"true", "false", "yes", "no", "on", "off", "1", "0"};

}  // namespace

bool BooleanType::Accepts(const std::string& value, std::string* reason) const {
  for (const char* spelling : kSpellings) {
    if (value == spelling) return true;
  }
  *reason = Shown(value) + " is not a boolean (true, false, yes, no, on, off, 1 or 0)";
  return false;
}

}  // namespace qet_cfgserver
