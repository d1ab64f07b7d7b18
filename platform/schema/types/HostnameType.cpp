#include "schema/types/HostnameType.h"

namespace qet_cfgserver {

namespace {

constexpr std::size_t kMostBytes = 253;
constexpr std::size_t kMostLabelBytes = 63;

bool IsLetterOrDigit(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

bool IsLabel(const std::string& label) {
  if (label.empty() || label.size() > kMostLabelBytes) return false;
  if (label.front() == '-' || label.back() == '-') return false;
  for (char c : label) {
    if (!IsLetterOrDigit(c) && c != '-') return false;
  }
  return true;
}

bool IsHostname(const std::string& text) {
  if (text.empty() || text.size() > kMostBytes) return false;
  std::size_t start = 0;
  while (true) {
    const std::size_t dot = text.find('.', start);
    if (!IsLabel(text.substr(start, dot == std::string::npos ? std::string::npos : dot - start))) return false;
    if (dot == std::string::npos) return true;
    start = dot + 1;
  }
}

}  // namespace

bool HostnameType::Accepts(const std::string& value, std::string* reason) const {
  if (IsHostname(value)) return true;
  *reason = Shown(value) + " is not a hostname (dot-separated labels of letters, digits and inner hyphens)";
  return false;
}

}  // namespace qet_cfgserver
