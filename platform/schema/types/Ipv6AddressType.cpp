#include "schema/types/Ipv6AddressType.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace qet_cfgserver {

bool Ipv6AddressType::Accepts(const std::string& value, std::string* reason) const {
  in6_addr address;
  // inet_pton reads up to the first NUL; a value holding one is not an address.
  if (value.find('\0') == std::string::npos && inet_pton(AF_INET6, value.c_str(), &address) == 1) return true;
  *reason = Shown(value) + " is not an IPv6 address";
  return false;
}

}  // namespace qet_cfgserver
