#include "ini/IniField.h"

#include <string.h>

#include "ini/HexByte.h"

namespace qet_cfgserver {

namespace {

constexpr char kQuote = '"';
constexpr char kEscape = '\\';

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// A line is trimmed of blanks, and a field that starts with a quote would be
// read as quoted: both must be protected anywhere.
bool NeedsQuotesAnywhere(const std::string& text) {
  if (!text.empty() && (IsBlank(text.front()) || IsBlank(text.back()) || text.front() == kQuote)) return true;
  for (char c : text) {
    if (IsControl(static_cast<unsigned char>(c))) return true;
  }
  return false;
}

bool StartsWithByteOrderMark(const std::string& text) {
  return text.compare(0, strlen(IniField::kByteOrderMark), IniField::kByteOrderMark) == 0;
}

bool NeedsQuotes(const std::string& text, IniField::Place place) {
  if (NeedsQuotesAnywhere(text)) return true;
  switch (place) {
    case IniField::Place::kValue:
      // An unquoted value that ends with a quote (and starts with one) would
      // lose both; the start is covered above, the end alone is safe.
      return false;
    case IniField::Place::kSection:
      // The name runs to the last ']' of the line.
      return text.empty() || text.find(']') != std::string::npos;
    case IniField::Place::kKey:
      // A key ends at the first '='; a line starting with '[', ';' or '#'
      // is a section or a comment; the reader refuses a line starting with a
      // byte-order mark and an unquoted key holding ": ".
      return text.empty() || text.find('=') != std::string::npos || text.front() == '[' || text.front() == ';' ||
             text.front() == '#' || StartsWithByteOrderMark(text) || IniField::HoldsColonDelimiter(text);
    case IniField::Place::kSetName:
      return text.empty();
    case IniField::Place::kWord:
      return text.empty() || text.find_first_of(" =") != std::string::npos;
  }
  return true;
}

void AppendEscaped(char c, std::string* out) {
  switch (c) {
    case kEscape: *out += "\\\\"; return;
    case kQuote: *out += "\\\""; return;
    case '\n': *out += "\\n"; return;
    case '\r': *out += "\\r"; return;
    case '\t': *out += "\\t"; return;
    default: break;
  }
  const unsigned char byte = static_cast<unsigned char>(c);
  if (!IsControl(byte)) {
    *out += c;
    return;
  }
  *out += "\\x";
  HexByte::Append(byte, out);
}

}  // namespace

const char IniField::kByteOrderMark[] = "\xEF\xBB\xBF";

bool IniField::HoldsColonDelimiter(const std::string& key) {
  for (std::size_t colon = key.find(':'); colon != std::string::npos; colon = key.find(':', colon + 1)) {
    if (colon + 1 < key.size() && (key[colon + 1] == ' ' || key[colon + 1] == '\t')) return true;
  }
  return false;
}

std::string IniField::Write(const std::string& text, Place place) {
  if (!NeedsQuotes(text, place)) return text;
  std::string out(1, kQuote);
  for (char c : text) AppendEscaped(c, &out);
  out += kQuote;
  return out;
}

LxStatus IniField::ReadQuoted(const std::string& line, std::size_t* position, std::string* text) {
  text->clear();
  std::size_t at = *position + 1;  // past the opening quote
  while (at < line.size()) {
    const char c = line[at++];
    if (c == kQuote) {
      *position = at;
      return LxStatus::Ok();
    }
    if (c != kEscape) {
      *text += c;
      continue;
    }
    if (at >= line.size()) break;
    const char escaped = line[at++];
    switch (escaped) {
      case kEscape: *text += kEscape; continue;
      case kQuote: *text += kQuote; continue;
      case 'n': *text += '\n'; continue;
      case 'r': *text += '\r'; continue;
      case 't': *text += '\t'; continue;
      case 'x': break;
      default: return LxStatus::InvalidArgument(std::string("unknown escape \\") + escaped + " in a quoted field");
    }
    const int high = at + 1 < line.size() ? HexByte::DigitValue(line[at]) : -1;
    const int low = high >= 0 ? HexByte::DigitValue(line[at + 1]) : -1;
    if (low < 0) return LxStatus::InvalidArgument("\\x needs two hex digits in a quoted field");
    *text += static_cast<char>(high * 16 + low);
    at += 2;
  }
  return LxStatus::InvalidArgument("a quoted field has no closing quote");
}

}  // namespace qet_cfgserver
