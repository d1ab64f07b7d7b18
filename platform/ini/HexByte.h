#pragma once

#include <string>

namespace qet_cfgserver {

// Two hexadecimal digits per byte, the escape of both the INI fields
// (\xNN) and the set file names (%NN).
class HexByte {
 public:
  // Appends byte as two upper-case digits.
  static void Append(unsigned char byte, std::string* out);

  // The value of one digit of either case; -1 for anything else.
  static int DigitValue(char digit);
};

}  // namespace qet_cfgserver
