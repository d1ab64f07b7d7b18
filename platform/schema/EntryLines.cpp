#include "schema/EntryLines.h"

#include "common/ConfigTypes.h"
#include "ini/IniField.h"
#include "ini/IniReader.h"

namespace qet_cfgserver {

namespace {

// Follows a line that yields no entry, to learn which section the line
// leaves the reader in.
constexpr const char* kProbeEntry = "probe = probe\n";
constexpr const char* kAnySet = "lines";

// What the reader finds in text: its entries, or none when it refuses it.
std::vector<ConfigEntry> EntriesOf(const std::string& text) {
  IniContent content;
  if (!IniReader::Parse(text, kAnySet, &content).ok() || content.sets.empty()) return {};
  return content.sets[0].entries;
}

std::string SectionLine(const std::string& section) {
  return "[" + IniField::Write(section, IniField::Place::kSection) + "]\n";
}

}  // namespace

EntryLines::EntryLines(const std::string& text) {
  std::string context;  // the line of the section the current line stands in, if any
  std::size_t start = 0, number = 1;
  for (; start < text.size(); ++number) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start) + "\n";
    start = end + 1;

    const std::vector<ConfigEntry> alone = EntriesOf(context + line);
    if (alone.size() == 1) {
      lines_[{alone[0].section, alone[0].key}].push_back(number);
      continue;
    }
    const std::vector<ConfigEntry> probed = EntriesOf(context + line + kProbeEntry);
    if (probed.size() == 1) context = SectionLine(probed[0].section);
  }
}

const std::vector<std::size_t>& EntryLines::LinesOf(const std::string& section, const std::string& key) const {
  static const std::vector<std::size_t> kNone;
  const auto found = lines_.find({section, key});
  return found == lines_.end() ? kNone : found->second;
}

}  // namespace qet_cfgserver
