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

// What one INI text holds: its sets in the order they first appear, and the
// warnings its reader should show the user (the text was read all the same),
// one line each: "line N: ..." from Parse, "PATH: line N: ..." from ReadFile.
struct IniContent {
  std::vector<IniSet> sets;
  std::vector<std::string> warnings;
};

// Reads the INI text that cfgctl export writes, and hand-written files of
// the common form. cfgctl import and cfgserver --import both read through
// it, so the same file gives both the same sets. Written here rather than
// with ACE_Ini_ImpExp because ACE cannot express quoted names (a key holding
// '=', a section holding ']'), escapes, nor the sets of a multi-set export.
//   - Lines end at '\n'; blanks (space, tab, CR, LF, VT, FF) at both ends of
//     a line, of a name and of a value are dropped. A UTF-8 byte-order mark
//     at the very start of the text is skipped.
//   - Which set: a text whose first line is "; set NAME" (an export) holds
//     the sets its "; set NAME" lines start. Any other text holds one set,
//     the one its file is named after, and there "; set ..." is a comment.
//   - Blank lines and lines starting with '#' or ';' are comments.
//   - "[name]" starts a section; the name runs to the last ']' of the line
//     and keeps blanks inside the brackets. "["quoted"]" is a quoted name.
//   - "key = value": the key runs to the first '=', the value is the rest.
//     A key starting with '"' is quoted (and may then hold '='). A value
//     that starts and ends with '"' is read with its escapes (IniField.h)
//     when they are all valid and its closing quote ends it; any other value
//     is taken literally, quotes included.
//   - A repeated key keeps its last value and gives a warning naming both
//     lines (systemd-style lists lose all but their last item).
// Refused with the line number and what is wrong, nothing returned: a key
// before any section; a line indented deeper than the key line above it (a
// continuation, which this format does not have); a byte-order mark
// anywhere but the very start, or a UTF-16 one; an unquoted key holding
// ": " (a "key: value" line whose value holds '='); any other line that is
// none of the above; an empty section or key name; a bad escape in a
// quoted name; a name or value over the limits of Limits.h; a line over
// kMaxLineBytes; a set name that is empty or too long.
class IniReader {
 public:
  // Room for the longest legal entry with every byte escaped.
  static const std::size_t kMaxLineBytes;
  // Larger files are refused unread.
  static const std::size_t kMaxFileBytes;

  // Parses text; fileSet is the set of a text without "; set" first line.
  // *content is replaced.
  static LxStatus Parse(const std::string& text, const std::string& fileSet, IniContent* content);

  // Reads the file at path and parses it with SetFileName::SetNameFor(path)
  // as fileSet. Errors and warnings start with the path.
  static LxStatus ReadFile(const std::string& path, IniContent* content);
};

}  // namespace qet_cfgserver
