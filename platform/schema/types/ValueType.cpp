#include "schema/types/ValueType.h"

#include "ini/IniField.h"

namespace qet_cfgserver {

const std::size_t ValueType::kMaxShownBytes = 64;

namespace {

constexpr const char* kCutMark = "...";

bool IsUtf8Continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

}  // namespace

std::string ValueType::Shown(const std::string& value) {
  if (value.size() <= kMaxShownBytes) return IniField::Write(value, IniField::Place::kWord);
  // Cut before a whole character, so the reason stays valid UTF-8 where the value was.
  std::size_t end = kMaxShownBytes;
  while (end > 0 && IsUtf8Continuation(value[end])) --end;
  return IniField::Write(value.substr(0, end), IniField::Place::kWord) + kCutMark;
}

}  // namespace qet_cfgserver
