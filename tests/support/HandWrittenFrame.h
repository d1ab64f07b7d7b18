#pragma once

#include <cstdint>
#include <string>

#include "cfgwire/Frame.h"

namespace quenlo_test {

// CDR written by hand, in either byte order, as a peer of that order would:
// ulongs aligned to four bytes from the start of the body.
class HandWrittenFrame {
 public:
  explicit HandWrittenFrame(bool littleEndian) : littleEndian_(littleEndian) {}

  HandWrittenFrame& ULong(std::uint32_t value, std::string* into = nullptr) {
    std::string& bytes = into != nullptr ? *into : body_;
    while (into == nullptr && bytes.size() % 4 != 0) bytes.push_back('\0');
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(value >> (littleEndian_ ? 8 * i : 24 - 8 * i)));
    return *this;
  }
  HandWrittenFrame& String(const std::string& text) {
    ULong(static_cast<std::uint32_t>(text.size()));
    body_ += text;
    return *this;
  }
  std::string Frame(std::uint8_t version = qet_cfgserver::wire::kFirstProtocolVersion) {
    std::string frame = {'Q', 'C', static_cast<char>(version), static_cast<char>(littleEndian_)};
    ULong(static_cast<std::uint32_t>(body_.size()), &frame);
    return frame + body_;
  }

 private:
  bool littleEndian_;
  std::string body_;
};

}  // namespace quenlo_test
