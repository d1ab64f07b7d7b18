#include "schema/types/DecimalInteger.h"

#include <limits>

namespace qet_cfgserver {

namespace {

constexpr std::uint64_t kLargestPositive = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
constexpr std::uint64_t kLargestNegative = kLargestPositive + 1;  // the magnitude of -2^63

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool DecimalInteger::Parse(const std::string& text, std::int64_t* number) {
  std::size_t at = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) ++at;
  const std::size_t digits = text.size() - at;
  if (digits == 0) return false;
  if (text[at] == '0' && digits > 1) return false;

  const std::uint64_t largest = negative ? kLargestNegative : kLargestPositive;
  std::uint64_t magnitude = 0;
  for (; at < text.size(); ++at) {
    if (!IsDigit(text[at])) return false;
    const std::uint64_t digit = static_cast<std::uint64_t>(text[at] - '0');
    if (magnitude > (largest - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
  }
  if (!negative) {
    *number = static_cast<std::int64_t>(magnitude);
  } else if (magnitude == kLargestNegative) {
    *number = std::numeric_limits<std::int64_t>::min();
  } else {
    *number = -static_cast<std::int64_t>(magnitude);
  }
  return true;
}

}  // namespace qet_cfgserver
