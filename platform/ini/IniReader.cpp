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

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// A field that is either quoted as a whole or taken literally.
LxStatus ReadWholeField(const std::string& field, bool quoted, std::string* text) {
  if (!quoted) {
    *text = field;
    return LxStatus::Ok();
  }
  std::size_t end = 0;
  LxStatus status = IniField::ReadQuoted(field, &end, text);
  if (status.ok() && end != field.size()) return LxStatus::InvalidArgument("text after a quoted field");
  return status;
}

bool StartsQuoted(const std::string& field) { return !field.empty() && field.front() == '"'; }

// Parsing state for one text: the sets so far and where entries go.
class Parser {
 public:
  Parser(const std::string& defaultSet, IniReader::SetMarkers markers) : markers_(markers) { SelectSet(defaultSet); }

  LxStatus Line(const std::string& raw) {
    if (raw.size() > IniReader::kMaxLineBytes) return LxStatus::InvalidArgument("line too long");
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') return LxStatus::Ok();
    if (line[0] == ';') return Comment(line);
    if (line[0] == '[') return Section(line);
    return Entry(line);
  }

  std::vector<IniSet> TakeSets() {
    std::vector<IniSet> sets;
    for (IniSet& set : sets_) {
      if (!set.entries.empty() || set.name != defaultSet_ || explicitDefault_ || sets_.size() == 1) sets.push_back(std::move(set));
    }
    return sets;
  }

 private:
  LxStatus Comment(const std::string& line) {
    if (markers_ != IniReader::SetMarkers::kHonour || line.compare(0, strlen(kSetMarker), kSetMarker) != 0)
      return LxStatus::Ok();
    const std::string field = Trim(line.substr(strlen(kSetMarker)));
    std::string name;
    LxStatus status = ReadWholeField(field, StartsQuoted(field), &name);
    if (!status.ok()) return status;
    if (name.empty() || name.size() > wire::kMaxNameBytes) return LxStatus::InvalidArgument("unusable set name");
    if (name == defaultSet_) explicitDefault_ = true;
    SelectSet(name);
    section_.clear();
    inSection_ = false;
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
    return LxStatus::Ok();
  }

  LxStatus Entry(const std::string& line) {
    std::string key;
    std::size_t equals;
    if (StartsQuoted(line)) {
      std::size_t end = 0;
      LxStatus status = IniField::ReadQuoted(line, &end, &key);
      if (!status.ok()) return status;
      equals = line.find_first_not_of(kBlanks, end);
      if (equals == std::string::npos || line[equals] != '=') return LxStatus::InvalidArgument("a quoted key needs a '='");
    } else {
      equals = line.find('=');
      if (equals == std::string::npos) return LxStatus::InvalidArgument("neither a section, a comment nor key = value");
      key = Trim(line.substr(0, equals));
    }
    if (!inSection_) return LxStatus::InvalidArgument("a key before the first section");
    if (key.empty()) return LxStatus::InvalidArgument("empty key name");
    if (key.size() > wire::kMaxNameBytes) return LxStatus::InvalidArgument("key name over the length limit");
    const std::string field = Trim(line.substr(equals + 1));
    std::string value;
    LxStatus status = ReadWholeField(field, field.size() >= 2 && field.front() == '"' && field.back() == '"', &value);
    if (!status.ok()) return status;
    if (value.size() > wire::kMaxValueBytes) return LxStatus::InvalidArgument("value over the length limit");
    Store(std::move(key), std::move(value));
    return LxStatus::Ok();
  }

  void Store(std::string key, std::string value) {
    IniSet& set = sets_[current_];
    auto found = positions_[current_].emplace(std::make_pair(section_, key), set.entries.size());
    if (!found.second) {
      set.entries[found.first->second].value = std::move(value);
      return;
    }
    set.entries.push_back(ConfigEntry{section_, std::move(key), std::move(value)});
  }

  void SelectSet(const std::string& name) {
    if (sets_.empty()) defaultSet_ = name;
    for (current_ = 0; current_ < sets_.size(); ++current_) {
      if (sets_[current_].name == name) return;
    }
    sets_.push_back(IniSet{name, {}});
    positions_.emplace_back();
  }

  const IniReader::SetMarkers markers_;
  std::string defaultSet_;
  bool explicitDefault_ = false;  // a "; set" line named the default set: keep it even when empty
  std::vector<IniSet> sets_;
  std::vector<std::map<std::pair<std::string, std::string>, std::size_t>> positions_;  // per set: entry index
  std::size_t current_ = 0;
  std::string section_;
  bool inSection_ = false;
};

}  // namespace

LxStatus IniReader::Parse(const std::string& text, const std::string& defaultSet, SetMarkers markers,
                          std::vector<IniSet>* sets) {
  Parser parser(defaultSet, markers);
  std::size_t start = 0, number = 1;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    LxStatus status = parser.Line(text.substr(start, end - start));
    if (!status.ok()) return LxStatus::InvalidArgument("line " + std::to_string(number) + ": " + status.message());
    start = end + 1;
    ++number;
  }
  *sets = parser.TakeSets();
  return LxStatus::Ok();
}

LxStatus IniReader::ReadFile(const std::string& path, SetMarkers markers, std::vector<IniSet>* sets) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return LxStatus::IoError(path + ": cannot read: " + strerror(errno));
  std::string text;
  char buffer[64 * 1024];
  while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
    text.append(buffer, static_cast<std::size_t>(file.gcount()));
    if (text.size() > kMaxFileBytes) return LxStatus::InvalidArgument(path + ": larger than 64 MiB");
  }
  if (file.bad()) return LxStatus::IoError(path + ": cannot read: " + strerror(errno));
  LxStatus status = Parse(text, SetFileName::SetNameFor(path), markers, sets);
  if (!status.ok()) return LxStatus::InvalidArgument(path + ": " + status.message());
  return LxStatus::Ok();
}

}  // namespace qet_cfgserver
