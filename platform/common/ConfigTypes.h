#pragma once

#include <cstdint>
#include <string>

namespace qet_cfgserver {

// The plain values that name configuration, shared by the client library,
// the wire format, the INI reader and writer and the server's store, so
// that each layer passes them on as they are. Copy freely.

// One key of a set with its value: what an INI file holds, an import
// supplies and an export returns.
struct ConfigEntry {
  std::string section, key, value;
};

// One value with its full name, as recovery moves it between files.
struct ConfigRow {
  std::string set, section, key, value;
};

// What a scoped operation (delete, reset, changes, a watch) covers. Names
// the level needs: kSet a set; kSection a set and a section; kKey all three.
// Names beyond the level are ignored. The levels' numbers are their wire
// encoding.
struct ConfigScope {
  enum class Level : std::uint32_t { kAll = 0, kSet = 1, kSection = 2, kKey = 3 };
  Level level = Level::kAll;
  std::string set, section, key;

  // Whether the key named so lies within the scope; a level beyond kKey
  // covers nothing.
  bool Covers(const std::string& keySet, const std::string& keySection, const std::string& keyName) const {
    if (level > Level::kKey) return false;
    return (level < Level::kSet || keySet == set) && (level < Level::kSection || keySection == section) &&
           (level < Level::kKey || keyName == key);
  }
};

}  // namespace qet_cfgserver
