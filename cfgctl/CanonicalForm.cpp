#include "cfgctl/CanonicalForm.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <tuple>

namespace cfgctl {

using qet_cfgserver::ConfigEntry;

namespace {

// Names and values are bounded far below 4 GiB (cfgwire/Limits.h), so four
// bytes hold any length.
constexpr int kLengthBytes = 4;
constexpr int kFieldsPerKey = 4;  // set, section, key, value

void AppendField(const std::string& field, std::string* bytes) {
  const std::uint32_t length = static_cast<std::uint32_t>(field.size());
  for (int shift = 8 * (kLengthBytes - 1); shift >= 0; shift -= 8)
    bytes->push_back(static_cast<char>((length >> shift) & 0xFF));
  bytes->append(field);
}

}  // namespace

std::string CanonicalForm::OfSet(const std::string& set, std::vector<ConfigEntry> entries) {
  // std::string compares as unsigned char (char_traits<char>), whether
  // char is signed or not: byte order on every machine.
  std::sort(entries.begin(), entries.end(), [](const ConfigEntry& left, const ConfigEntry& right) {
    return std::tie(left.section, left.key, left.value) < std::tie(right.section, right.key, right.value);
  });
  std::string bytes;
  std::size_t size = 0;
  for (const ConfigEntry& entry : entries)
    size += kFieldsPerKey * kLengthBytes + set.size() + entry.section.size() + entry.key.size() + entry.value.size();
  bytes.reserve(size);
  for (const ConfigEntry& entry : entries) {
    AppendField(set, &bytes);
    AppendField(entry.section, &bytes);
    AppendField(entry.key, &bytes);
    AppendField(entry.value, &bytes);
  }
  return bytes;
}

}  // namespace cfgctl
