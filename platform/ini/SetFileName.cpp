#include "SetFileName.h"

namespace qet_cfgserver {

namespace {

constexpr const char* kHexDigits = "0123456789ABCDEF";
constexpr const char* kExtension = ".ini";

bool IsSafe(char c, bool first) {
  if (c == '.') return !first;
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string SetFileName::FileNameFor(const std::string& set) {
  std::string name;
  for (std::size_t i = 0; i < set.size(); ++i) {
    if (IsSafe(set[i], i == 0)) {
      name += set[i];
      continue;
    }
    const unsigned char byte = static_cast<unsigned char>(set[i]);
    name += '%';
    name += kHexDigits[byte >> 4];
    name += kHexDigits[byte & 0x0F];
  }
  return name + kExtension;
}

std::string SetFileName::SetNameFor(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string::size_type dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  std::string set;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const bool escaped = name[i] == '%' && i + 2 < name.size() && HexValue(name[i + 1]) >= 0 &&
                         HexValue(name[i + 2]) >= 0;
    if (!escaped) {
      set += name[i];
      continue;
    }
    set += static_cast<char>(HexValue(name[i + 1]) * 16 + HexValue(name[i + 2]));
    i += 2;
  }
  return set;
}

}  // namespace qet_cfgserver
