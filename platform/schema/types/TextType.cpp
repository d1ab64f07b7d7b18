#include "schema/types/TextType.h"

#include "schema/types/DecimalInteger.h"

namespace qet_cfgserver {

LxStatus TextType::Create(const std::string& mostBytes, std::unique_ptr<const ValueType>* type) {
  std::int64_t number = 0;
  if (!DecimalInteger::Parse(mostBytes, &number) || number < 0)
    return LxStatus::InvalidArgument("text needs its largest size in bytes, not '" + mostBytes + "'");
  type->reset(new TextType(static_cast<std::uint64_t>(number)));
  return LxStatus::Ok();
}

bool TextType::Accepts(const std::string& value, std::string* reason) const {
  const std::uint64_t size = value.size();
  if (size <= mostBytes_) return true;
  *reason = Shown(value) + " is not text of at most " + std::to_string(mostBytes_) + " bytes (it has " +
            std::to_string(size) + ")";
  return false;
}

}  // namespace qet_cfgserver
