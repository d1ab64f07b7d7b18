#include "schema/types/Ipv4AddressType.h"

namespace qet_cfgserver {

namespace {

constexpr int kParts = 4;
constexpr std::size_t kMostDigits = 3;
constexpr int kLargestPart = 255;

bool IsPart(const std::string& part) {
  if (part.empty() || part.size() > kMostDigits) return false;
  if (part[0] == '0' && part.size() > 1) return false;
  int number = 0;
  for (char c : part) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  return number <= kLargestPart;
}

bool IsDottedQuad(const std::string& text) {
  std::size_t start = 0;
  for (int part = 0; part < kParts; ++part) {
    const std::size_t dot = text.find('.', start);
    const bool last = part == kParts - 1;
    if (last != (dot == std::string::npos)) return false;
    if (!IsPart(text.substr(start, last ? std::string::npos : dot - start))) return false;
    start = dot + 1;
  }
  return true;
}

}  // namespace

bool Ipv4AddressType::Accepts(const std::string& value, std::string* reason) const {
  if (IsDottedQuad(value)) return true;
  *reason = Shown(value) + " is not an IPv4 address (four numbers 0..255 joined by dots)";
  return false;
}

}  // namespace qet_cfgserver
