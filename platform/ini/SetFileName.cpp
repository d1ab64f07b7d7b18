#include "ini/SetFileName.h"

#include "ini/HexByte.h"

namespace qet_cfgserver {

namespace {

constexpr const char* kExtension = ".ini";

bool IsSafe(char c, bool first) {
  if (c == '.') return !first;
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
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
    HexByte::Append(byte, &name);
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
    const bool escaped = name[i] == '%' && i + 2 < name.size() && HexByte::DigitValue(name[i + 1]) >= 0 &&
                         HexByte::DigitValue(name[i + 2]) >= 0;
    if (!escaped) {
      set += name[i];
      continue;
    }
    set += static_cast<char>(HexByte::DigitValue(name[i + 1]) * 16 + HexByte::DigitValue(name[i + 2]));
    i += 2;
  }
  return set;
}

}  // namespace qet_cfgserver
