#pragma once

#include <string>

#include "schema/types/ValueType.h"

namespace qet_cfgserver {

// "ipv6": an IPv6 address as inet_pton(3) reads it ("2001:db8::1",
// "::ffff:192.0.2.1"); no zone ("%eth0"), no prefix length, no brackets.
class Ipv6AddressType : public ValueType {
 public:
  bool Accepts(const std::string& value, std::string* reason) const override;
};

}  // namespace qet_cfgserver
