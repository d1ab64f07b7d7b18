#include "schema/types/EnumType.h"

namespace qet_cfgserver {

namespace {

constexpr char kSeparator = '|';

bool IsBlankOrControl(char c) {
  const unsigned char byte = static_cast<unsigned char>(c);
  return byte <= 0x20 || byte == 0x7F;
}

LxStatus CheckChoice(const std::string& choice) {
  if (choice.empty()) return LxStatus::InvalidArgument("enum has an empty choice");
  for (char c : choice) {
    if (IsBlankOrControl(c))
      return LxStatus::InvalidArgument("enum choice '" + choice + "' holds a blank or a control byte");
  }
  return LxStatus::Ok();
}

}  // namespace

LxStatus EnumType::Create(const std::string& choices, std::unique_ptr<const ValueType>* type) {
  if (choices.empty()) return LxStatus::InvalidArgument("enum needs its choices, A|B|C");
  std::set<std::string> parsed;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = choices.find(kSeparator, start);
    const std::string choice = choices.substr(start, end == std::string::npos ? std::string::npos : end - start);
    LxStatus status = CheckChoice(choice);
    if (!status.ok()) return status;
    parsed.insert(choice);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  type->reset(new EnumType(choices, std::move(parsed)));
  return LxStatus::Ok();
}

bool EnumType::Accepts(const std::string& value, std::string* reason) const {
  if (choices_.count(value) != 0) return true;
  *reason = Shown(value) + " is not one of " + written_;
  return false;
}

}  // namespace qet_cfgserver
