#pragma once

#include <string>

#include "schema/types/ValueType.h"

namespace qet_cfgserver {

// "hostname": a host name of RFC 1123: labels of 1..63 letters, digits and
// hyphens, neither starting nor ending with a hyphen, joined by single dots;
// 253 bytes at most in all; no trailing dot.
class HostnameType : public ValueType {
 public:
  bool Accepts(const std::string& value, std::string* reason) const override;
};

}  // namespace qet_cfgserver
