#include "ini/IniWriter.h"

#include "ini/IniField.h"

namespace qet_cfgserver {

std::string IniWriter::WriteSet(const std::string& set, const std::vector<ConfigEntry>& entries) {
  std::string text = "; set " + IniField::Write(set, IniField::Place::kSetName) + "\n";
  const std::string* section = nullptr;
  for (const ConfigEntry& entry : entries) {
    if (section == nullptr || *section != entry.section) {
      text += "\n[" + IniField::Write(entry.section, IniField::Place::kSection) + "]\n";
      section = &entry.section;
    }
    text += IniField::Write(entry.key, IniField::Place::kKey) + " =";
    if (!entry.value.empty()) text += " " + IniField::Write(entry.value, IniField::Place::kValue);
    text += "\n";
  }
  return text;
}

}  // namespace qet_cfgserver
