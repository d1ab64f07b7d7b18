#pragma once

#include <string>

#include "common/LxStatus.h"

namespace qet_cfgserver {

// One name or value in INI text. A field is written as it is when INI can
// hold it so; otherwise in double quotes with backslash escapes:
//   \\  \"  \n  \r  \t  and \xNN (two hex digits) for any other byte below
//   0x20 and for 0x7F.
// Bytes from 0x80 up are written as they are (UTF-8 stays readable).
// Reading accepts exactly these escapes and refuses any other.
class IniField {
 public:
  // Where the field stands; each place has its own reasons to quote (see
  // the .cpp). kWord is a name or value on a line of cfgctl's own output,
  // where blanks separate fields.
  enum class Place { kSection, kKey, kValue, kSetName, kWord };

  // UTF-8's byte-order mark: skipped at the very start of a text, refused
  // at the start of any other line, so a key starting with it is quoted.
  static const char kByteOrderMark[];

  // Whether key holds a ':' followed by a blank, which other INI dialects
  // split as "key: value": the reader refuses such a key unquoted, so the
  // writer quotes it.
  static bool HoldsColonDelimiter(const std::string& key);

  // text as it goes into INI text at place: as it is, or quoted.
  static std::string Write(const std::string& text, Place place);

  // Reads the quoted field starting at line[*position] (a '"'); on success
  // *text is the unescaped field and *position is just past its closing
  // quote. Fails on a bad escape or a missing closing quote.
  static LxStatus ReadQuoted(const std::string& line, std::size_t* position, std::string* text);
};

}  // namespace qet_cfgserver
