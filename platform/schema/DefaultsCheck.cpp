#include "schema/DefaultsCheck.h"

#include <fstream>
#include <memory>
#include <sstream>

#include "ini/IniReader.h"
#include "schema/EntryLines.h"

namespace qet_cfgserver {

namespace {

// The last line that gives the entry its value (the one that wins).
std::string WhereIs(const EntryLines* lines, const ConfigEntry& entry) {
  if (lines == nullptr) return "";
  const std::vector<std::size_t>& found = lines->LinesOf(entry.section, entry.key);
  return found.empty() ? "" : "line " + std::to_string(found.back()) + ": ";
}

}  // namespace

LxStatus DefaultsCheck::CheckFile(const SchemaSet& schemas, const std::string& path) {
  if (schemas.empty()) return LxStatus::Ok();
  IniContent content;
  LxStatus status = IniReader::ReadFile(path, &content);
  if (!status.ok()) return status;
  // EntryLines reads the text of one set: an export of several sets is
  // named by set, without lines.
  std::unique_ptr<EntryLines> lines;
  if (content.sets.size() == 1) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    lines.reset(new EntryLines(text.str()));
  }
  std::string errors;
  for (const IniSet& set : content.sets) {
    for (const ConfigEntry& entry : set.entries) {
      std::string reason;
      if (schemas.Check(set.name, entry.section, entry.key, entry.value, &reason)) continue;
      if (!errors.empty()) errors += "\n";
      errors += path + ": " + (lines ? "" : "set " + set.name + ": ") + WhereIs(lines.get(), entry) + "[" +
                entry.section + "] " + entry.key + ": " + reason;
    }
  }
  return errors.empty() ? LxStatus::Ok() : LxStatus::InvalidArgument(errors);
}

}  // namespace qet_cfgserver
