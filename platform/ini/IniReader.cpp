#include "ini/IniReader.h"

#include <errno.h>
#include <string.h>

#include <fstream>
#include <map>
#include <utility>

#include "cfgwire/Limits.h"
#include "ini/IniField.h"
#include "ini/SetFileName.h"

namespace qet_cfgserver {

const std::size_t IniReader::kMaxLineBytes = 4 * (wire::kMaxValueBytes + wire::kMaxNameBytes) + 64;
const std::size_t IniReader::kMaxFileBytes = 64 * 1024 * 1024;

namespace {

constexpr const char* kBlanks = " \t\n\v\f\r";
constexpr const char* kSetMarker = "; set ";
constexpr const char* kUtf16LittleEndianMark = "\xFF\xFE";
constexpr const char* kUtf16BigEndianMark = "\xFE\xFF";
// Past this many, repeated keys are counted rather than listed: a hostile
// file must not turn into gigabytes of warnings.
constexpr std::size_t kMaxListedWarnings = 100;
constexpr std::size_t kNoKeyLine = 0;  // line numbers start at 1

bool StartsWith(const std::string& text, const char* prefix) { return text.compare(0, strlen(prefix), prefix) == 0; }

bool StartsQuoted(const std::string& field) { return !field.empty() && field.front() == '"'; }

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool IsSetMarker(const std::string& trimmedLine) { return StartsWith(trimmedLine, kSetMarker); }

bool IsUsableSetName(const std::string& name) { return !name.empty() && name.size() <= wire::kMaxNameBytes; }

// The line of text that starts at start, without its '\n'.
std::string LineAt(const std::string& text, std::size_t start) {
  const std::size_t end = text.find('\n', start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// A value in double quotes is unquoted only when its escapes are all valid
// and its closing quote ends it; anything else (a Windows path, a systemd
// "A=1 2" B=3) means just what it says.
std::string ReadValue(const std::string& field) {
  if (field.size() < 2 || field.front() != '"' || field.back() != '"') return field;
  std::size_t end = 0;
  std::string text;
  if (!IniField::ReadQuoted(field, &end, &text).ok() || end != field.size()) return field;
  return text;
}

// Parsing state for one text: the sets so far and where entries go.
class Parser {
 public:
  Parser(const std::string& fileSet, bool multiSet) : multiSet_(multiSet) {
    if (!multiSet) SelectSet(fileSet);
  }

  LxStatus Line(const std::string& raw, std::size_t number) {
    if (raw.size() > IniReader::kMaxLineBytes) return LxStatus::InvalidArgument("line too long");
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') return LxStatus::Ok();
    if (StartsWith(line, IniField::kByteOrderMark))
      return LxStatus::InvalidArgument("a byte-order mark, which only the very start of a file may hold");
    if (line[0] == ';') return Comment(line);
    const std::size_t indent = raw.find_first_not_of(kBlanks);
    if (keyLine_ != kNoKeyLine && indent > keyIndent_) return Continuation();
    if (line[0] == '[') return Section(line);
    return Entry(line, indent, number);
  }

  IniContent Take() {
    IniContent content{std::move(sets_), std::move(warnings_)};
    if (unlistedWarnings_ > 0)
      content.warnings.push_back(std::to_string(unlistedWarnings_) + " more repeated keys, not listed");
    return content;
  }

 private:
  LxStatus Continuation() const {
    return LxStatus::InvalidArgument("an indented line under the key of line " + std::to_string(keyLine_) +
                                     " continues its value, which this format cannot: write the value on one"
                                     " line (quoted, with \\n for a line break)");
  }

  LxStatus Comment(const std::string& line) {
    if (!multiSet_ || !IsSetMarker(line)) return LxStatus::Ok();
    const std::string field = Trim(line.substr(strlen(kSetMarker)));
    std::string name = field;
    if (StartsQuoted(field)) {
      std::size_t end = 0;
      LxStatus status = IniField::ReadQuoted(field, &end, &name);
      if (!status.ok()) return status;
      if (end != field.size()) return LxStatus::InvalidArgument("text after a quoted set name");
    }
    if (!IsUsableSetName(name)) return LxStatus::InvalidArgument("unusable set name");
    SelectSet(name);
    section_.clear();
    inSection_ = false;
    keyLine_ = kNoKeyLine;
    return LxStatus::Ok();
  }

  LxStatus Section(const std::string& line) {
    std::string name;
    if (line.size() > 1 && line[1] == '"') {
      std::size_t end = 1;
      LxStatus status = IniField::ReadQuoted(line, &end, &name);
      if (!status.ok()) return status;
      const std::string rest = Trim(line.substr(end));
      if (rest.empty() || rest[0] != ']') return LxStatus::InvalidArgument("a quoted section name needs a ']'");
    } else {
      const std::size_t close = line.rfind(']');
      if (close == std::string::npos) return LxStatus::InvalidArgument("a section needs a ']'");
      name = line.substr(1, close - 1);
    }
    if (name.empty()) return LxStatus::InvalidArgument("empty section name");
    if (name.size() > wire::kMaxNameBytes) return LxStatus::InvalidArgument("section name over the length limit");
    section_ = name;
    inSection_ = true;
    keyLine_ = kNoKeyLine;
    return LxStatus::Ok();
  }

  LxStatus Entry(const std::string& line, std::size_t indent, std::size_t number) {
    std::string key;
    std::size_t equals = 0;
    LxStatus status = ReadKey(line, &key, &equals);
    if (!status.ok()) return status;
    if (!inSection_) return LxStatus::InvalidArgument("a key before any [section]");
    if (key.empty()) return LxStatus::InvalidArgument("empty key name");
    if (key.size() > wire::kMaxNameBytes) return LxStatus::InvalidArgument("key name over the length limit");
    std::string value = ReadValue(Trim(line.substr(equals + 1)));
    if (value.size() > wire::kMaxValueBytes) return LxStatus::InvalidArgument("value over the length limit");
    keyLine_ = number;
    keyIndent_ = indent;
    Store(ConfigEntry{section_, std::move(key), std::move(value)}, number);
    return LxStatus::Ok();
  }

  // *key, and where the '=' after it stands.
  static LxStatus ReadKey(const std::string& line, std::string* key, std::size_t* equals) {
    if (StartsQuoted(line)) {
      std::size_t end = 0;
      LxStatus status = IniField::ReadQuoted(line, &end, key);
      if (!status.ok()) return status;
      *equals = line.find_first_not_of(kBlanks, end);
      if (*equals == std::string::npos || line[*equals] != '=')
        return LxStatus::InvalidArgument("a quoted key needs a '='");
      return LxStatus::Ok();
    }
    *equals = line.find('=');
    if (*equals == std::string::npos) return LxStatus::InvalidArgument("neither a section, a comment nor key = value");
    *key = Trim(line.substr(0, *equals));
    if (IniField::HoldsColonDelimiter(*key))
      return LxStatus::InvalidArgument("the key holds \": \": write key = value (or quote the key)");
    return LxStatus::Ok();
  }

  void Store(ConfigEntry entry, std::size_t number) {
    IniSet& set = sets_[current_];
    auto placed =
        locations_[current_].emplace(std::make_pair(entry.section, entry.key), KeyLocation{set.entries.size(), number});
    if (placed.second) {
      set.entries.push_back(std::move(entry));
      return;
    }
    KeyLocation& earlier = placed.first->second;
    Warn("line " + std::to_string(number) + ": " + IniField::Write(entry.key, IniField::Place::kKey) + " in [" +
         IniField::Write(entry.section, IniField::Place::kSection) + "] repeats line " + std::to_string(earlier.line) +
         "; the last value wins");
    set.entries[earlier.index].value = std::move(entry.value);
    earlier.line = number;
  }

  void Warn(std::string warning) {
    if (warnings_.size() >= kMaxListedWarnings) {
      ++unlistedWarnings_;
      return;
    }
    warnings_.push_back(std::move(warning));
  }

  void SelectSet(const std::string& name) {
    for (current_ = 0; current_ < sets_.size(); ++current_) {
      if (sets_[current_].name == name) return;
    }
    sets_.push_back(IniSet{name, {}});
    locations_.emplace_back();
  }

  // Where a key's entry is, and the line that last gave its value.
  struct KeyLocation {
    std::size_t index;
    std::size_t line;
  };

  const bool multiSet_;
  std::vector<IniSet> sets_;
  std::vector<std::map<std::pair<std::string, std::string>, KeyLocation>> locations_;  // per set, by (section, key)
  std::size_t current_ = 0;
  std::string section_;
  bool inSection_ = false;
  std::size_t keyLine_ = kNoKeyLine;  // the last key line of this section
  std::size_t keyIndent_ = 0;
  std::vector<std::string> warnings_;
  std::size_t unlistedWarnings_ = 0;
};

}  // namespace

LxStatus IniReader::Parse(const std::string& text, const std::string& fileSet, IniContent* content) {
  if (StartsWith(text, kUtf16LittleEndianMark) || StartsWith(text, kUtf16BigEndianMark))
    return LxStatus::InvalidArgument("line 1: a UTF-16 byte-order mark: save the file as UTF-8");
  std::size_t start = StartsWith(text, IniField::kByteOrderMark) ? strlen(IniField::kByteOrderMark) : 0;
  // Only an export starts with a set marker; elsewhere "; set to 0, ..." is
  // an ordinary comment and must not move the keys after it.
  const bool multiSet = IsSetMarker(Trim(LineAt(text, start)));
  if (!multiSet && !IsUsableSetName(fileSet))
    return LxStatus::InvalidArgument("the file name gives no usable set name");
  Parser parser(fileSet, multiSet);
  for (std::size_t number = 1; start < text.size(); ++number) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    LxStatus status = parser.Line(text.substr(start, end - start), number);
    if (!status.ok()) return LxStatus::InvalidArgument("line " + std::to_string(number) + ": " + status.message());
    start = end + 1;
  }
  *content = parser.Take();
  return LxStatus::Ok();
}

LxStatus IniReader::ReadFile(const std::string& path, IniContent* content) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return LxStatus::IoError(path + ": cannot read: " + strerror(errno));
  std::string text;
  char buffer[64 * 1024];
  while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
    text.append(buffer, static_cast<std::size_t>(file.gcount()));
    if (text.size() > kMaxFileBytes) return LxStatus::InvalidArgument(path + ": larger than 64 MiB");
  }
  if (file.bad()) return LxStatus::IoError(path + ": cannot read: " + strerror(errno));
  LxStatus status = Parse(text, SetFileName::SetNameFor(path), content);
  if (!status.ok()) return LxStatus::InvalidArgument(path + ": " + status.message());
  for (std::string& warning : content->warnings) warning = path + ": " + warning;
  return LxStatus::Ok();
}

}  // namespace qet_cfgserver
