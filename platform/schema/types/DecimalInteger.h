#pragma once

#include <cstdint>
#include <string>

namespace qet_cfgserver {

// The one way schemas read whole numbers, in rules and in values alike.
class DecimalInteger {
 public:
  // Reads text as a 64-bit integer: an optional '+' or '-', then decimal
  // digits with no leading zero ("0" itself excepted, so that no reader
  // takes "010" for octal), and nothing else: no blanks, no other bytes.
  // False, leaving *number alone, for anything else and for numbers
  // outside -2^63..2^63-1.
  static bool Parse(const std::string& text, std::int64_t* number);
};

}  // namespace qet_cfgserver
