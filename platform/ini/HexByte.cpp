#include "ini/HexByte.h"

namespace qet_cfgserver {

namespace {

constexpr const char* kHexDigits = "0123456789ABCDEF";

}  // namespace

void HexByte::Append(unsigned char byte, std::string* out) {
  *out += kHexDigits[byte >> 4];
  *out += kHexDigits[byte & 0x0F];
}

int HexByte::DigitValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  return -1;
}

}  // namespace qet_cfgserver
