#include "schema/types/ValueTypeParser.h"

#include "schema/types/BooleanType.h"
#include "schema/types/EnumType.h"
#include "schema/types/HostnameType.h"
#include "schema/types/IntegerType.h"
#include "schema/types/Ipv4AddressType.h"
#include "schema/types/Ipv6AddressType.h"
#include "schema/types/PatternType.h"
#include "schema/types/TextType.h"

namespace qet_cfgserver {

namespace {

constexpr const char* kBlanks = " \t";
constexpr const char* kTypeNames = "integer, boolean, enum, ipv4, ipv6, hostname, text, pattern";

// The types that take no argument; null for any other name.
std::unique_ptr<const ValueType> PlainType(const std::string& name) {
  if (name == "boolean") return std::make_unique<BooleanType>();
  if (name == "ipv4") return std::make_unique<Ipv4AddressType>();
  if (name == "ipv6") return std::make_unique<Ipv6AddressType>();
  if (name == "hostname") return std::make_unique<HostnameType>();
  return nullptr;
}

}  // namespace

LxStatus ValueTypeParser::Parse(const std::string& text, std::unique_ptr<const ValueType>* type) {
  const std::size_t nameEnd = text.find_first_of(kBlanks);
  const std::string name = text.substr(0, nameEnd);
  const std::size_t argumentStart = text.find_first_not_of(kBlanks, nameEnd);
  const std::string argument = argumentStart == std::string::npos ? std::string() : text.substr(argumentStart);

  if (name == "integer") return IntegerType::Create(argument, type);
  if (name == "enum") return EnumType::Create(argument, type);
  if (name == "text") return TextType::Create(argument, type);
  if (name == "pattern") return PatternType::Create(argument, type);
  std::unique_ptr<const ValueType> plain = PlainType(name);
  if (plain == nullptr) return LxStatus::InvalidArgument("unknown type '" + name + "' (one of " + kTypeNames + ")");
  if (!argument.empty()) return LxStatus::InvalidArgument(name + " takes no argument");
  *type = std::move(plain);
  return LxStatus::Ok();
}

}  // namespace qet_cfgserver
