#pragma once

#include <string>
#include <vector>

#include "common/ConfigTypes.h"
#include "common/LxStatus.h"

namespace qet_cfgserver {

// The entries of one set in INI text, in the order of their first line.
struct IniSet {
  std::string name;
  std::vector<ConfigEntry> entries;
};

// Reads the INI text that cfgctl export writes and that cfgctl import and
// cfgserver --import read. Written here rather than with ACE_Ini_ImpExp
// because ACE cannot express quoted names (a key holding '=', a section
// holding ']'), escapes, nor the "; set NAME" lines of a multi-set export.
// The rules keep the meaning of the files ACE read, except that a value in
// double quotes now has its backslash escapes (IniField.h) read:
//   - Lines end at '\n'; blanks (space, tab, CR, LF, VT, FF) at both ends of
//     a line, of a name and of a value are dropped.
//   - Blank lines and lines starting with '#' or ';' are comments; with
//     SetMarkers::kHonour "; set NAME" starts the entries of set NAME.
//   - "[name]" starts a section; the name runs to the last ']' of the line
//     and keeps blanks inside the brackets. "["quoted"]" is a quoted name.
//   - "key = value": the key runs to the first '=', the value is the rest.
//     A key starting with '"' is quoted (and may then hold '='). A value
//     that starts and ends with '"' is quoted; any other is taken literally.
//   - A repeated key keeps its last value.
// Refused, with the line number: a line that is none of these, a key before
// the first section, an empty section or key name, a bad escape, a name or
// value over the limits of Limits.h, a line over kMaxLineBytes. Nothing of
// refused text is returned.
class IniReader {
 public:
  enum class SetMarkers { kHonour, kComment };

  // Room for the longest legal entry with every byte escaped.
  static const std::size_t kMaxLineBytes;
  // Larger files are refused unread.
  static const std::size_t kMaxFileBytes;

  // Parses text; entries before any "; set" line go to defaultSet. *sets is
  // replaced; a set named twice gets one IniSet.
  static LxStatus Parse(const std::string& text, const std::string& defaultSet, SetMarkers markers,
                        std::vector<IniSet>* sets);

  // Reads the file at path and parses it with SetFileName::SetNameFor(path)
  // as default set. Errors name the file.
  static LxStatus ReadFile(const std::string& path, SetMarkers markers, std::vector<IniSet>* sets);
};

}  // namespace qet_cfgserver
