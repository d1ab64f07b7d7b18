#include "schema/Schema.h"

#include <errno.h>
#include <string.h>

#include <algorithm>
#include <fstream>

#include "ini/IniField.h"
#include "ini/IniReader.h"
#include "ini/SetFileName.h"
#include "schema/EntryLines.h"
#include "schema/types/ValueTypeParser.h"

namespace qet_cfgserver {

namespace {

// A schema is a page of rules; anything larger is no schema.
constexpr std::size_t kMaxFileBytes = 1024 * 1024;
constexpr std::size_t kFirstLine = 1;

// One error of a schema file, where it stands.
struct RuleError {
  std::size_t line;  // 0 when the line is unknown
  std::string text;
};

std::string Where(const std::string& path, std::size_t line) {
  if (line == 0) return path + ": ";
  return path + ": line " + std::to_string(line) + ": ";
}

// The errors in the order of their lines, one line each.
LxStatus Report(const std::string& path, std::vector<RuleError> errors) {
  std::stable_sort(errors.begin(), errors.end(),
                   [](const RuleError& a, const RuleError& b) { return a.line < b.line; });
  std::string message;
  for (const RuleError& error : errors) message += (message.empty() ? "" : "\n") + Where(path, error.line) + error.text;
  return LxStatus::InvalidArgument(message);
}

std::string KeyWord(const std::string& key) { return IniField::Write(key, IniField::Place::kWord); }

LxStatus ReadWhole(const std::string& path, std::string* text) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return LxStatus::IoError(path + ": cannot read: " + strerror(errno));
  char buffer[16 * 1024];
  while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
    text->append(buffer, static_cast<std::size_t>(file.gcount()));
    if (text->size() > kMaxFileBytes) return LxStatus::InvalidArgument(path + ": larger than 1 MiB");
  }
  if (file.bad()) return LxStatus::IoError(path + ": cannot read: " + strerror(errno));
  return LxStatus::Ok();
}

}  // namespace

Schema::Schema() = default;
Schema::~Schema() = default;
Schema::Schema(Schema&&) = default;
Schema& Schema::operator=(Schema&&) = default;

LxStatus Schema::ReadFile(const std::string& path, Schema* schema) {
  std::string text;
  LxStatus status = ReadWhole(path, &text);
  if (!status.ok()) return status;
  return Parse(text, path, schema);
}

LxStatus Schema::Parse(const std::string& text, const std::string& path, Schema* schema) {
  Schema parsed;
  parsed.set_ = SetFileName::SetNameFor(path);
  IniContent content;
  LxStatus status = IniReader::Parse(text, parsed.set_, &content);
  if (!status.ok()) return LxStatus::InvalidArgument(path + ": " + status.message());
  // Only an export's first line names sets; a schema's set is its file's.
  if (content.sets.size() != 1 || content.sets[0].name != parsed.set_)
    return LxStatus::InvalidArgument(Where(path, kFirstLine) + "a schema holds the rules of the set " +
                                     IniField::Write(parsed.set_, IniField::Place::kWord) +
                                     " its file is named after, not the sets of an export");

  const EntryLines lines(text);
  std::vector<RuleError> errors;
  for (const IniSet& set : content.sets) {
    for (const ConfigEntry& rule : set.entries) {
      const std::vector<std::size_t>& ruleLines = lines.LinesOf(rule.section, rule.key);
      const std::size_t line = ruleLines.empty() ? 0 : ruleLines[0];
      if (ruleLines.size() > 1) {
        errors.push_back({ruleLines[1], KeyWord(rule.key) + ": named again (first on line " +
                                            std::to_string(line) + ")"});
        continue;
      }
      std::unique_ptr<const ValueType> type;
      LxStatus typeStatus = ValueTypeParser::Parse(rule.value, &type);
      if (!typeStatus.ok()) {
        errors.push_back({line, KeyWord(rule.key) + ": " + typeStatus.message()});
        continue;
      }
      parsed.TypesOf(rule.section)[rule.key] = std::move(type);
    }
  }
  if (!errors.empty()) return Report(path, std::move(errors));
  parsed.OrderWildcards();
  *schema = std::move(parsed);
  return LxStatus::Ok();
}

const ValueType* Schema::TypeOf(const std::string& section, const std::string& key) const {
  const auto named = named_.find(section);
  if (named != named_.end()) {
    const auto type = named->second.find(key);
    if (type != named->second.end()) return type->second.get();
  }
  for (const WildcardSection& wildcard : wildcards_) {
    const auto type = wildcard.types.find(key);
    if (type != wildcard.types.end() && wildcard.pattern.Matches(section)) return type->second.get();
  }
  return nullptr;
}

Schema::KeyTypes& Schema::TypesOf(const std::string& section) {
  SectionPattern pattern(section);
  if (!pattern.HasWildcard()) return named_[section];
  for (WildcardSection& wildcard : wildcards_) {
    if (wildcard.pattern.text() == section) return wildcard.types;
  }
  wildcards_.push_back(WildcardSection{std::move(pattern), KeyTypes()});
  return wildcards_.back().types;
}

void Schema::OrderWildcards() {
  std::stable_sort(wildcards_.begin(), wildcards_.end(), [](const WildcardSection& a, const WildcardSection& b) {
    return a.pattern.MoreSpecificThan(b.pattern);
  });
}

}  // namespace qet_cfgserver
