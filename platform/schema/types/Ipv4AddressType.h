#pragma once

#include <string>

#include "schema/types/ValueType.h"

namespace qet_cfgserver {

// "ipv4": a dotted quad, four decimal numbers 0..255 joined by '.', and
// nothing else. A number with a leading zero ("010") is refused: some
// readers take it for octal, others for decimal.
class Ipv4AddressType : public ValueType {
 public:
  bool Accepts(const std::string& value, std::string* reason) const override;
};

}  // namespace qet_cfgserver
