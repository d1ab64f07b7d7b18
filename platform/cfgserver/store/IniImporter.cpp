#include "store/IniImporter.h"

#include "cfgwire/Limits.h"
#include "ini/IniReader.h"
#include "ini/SetFileName.h"
#include "store/StatusContext.h"

namespace qet_cfgserver {

namespace {

LxStatus Refuse(const std::string& path, const std::string& reason) {
  return LxStatus::InvalidArgument(path + ": " + reason);
}

}  // namespace

std::string IniImporter::SetNameFor(const std::string& path) { return SetFileName::SetNameFor(path); }

LxStatus IniImporter::Read(const std::string& path, std::vector<ConfigEntry>* entries) {
  std::vector<IniSet> sets;
  LxStatus status = IniReader::ReadFile(path, IniReader::SetMarkers::kComment, &sets);
  if (!status.ok()) return status;
  entries->clear();
  for (const IniSet& set : sets) {
    for (const ConfigEntry& entry : set.entries) entries->push_back(ConfigEntry{entry.section, entry.key, entry.value});
  }
  return LxStatus::Ok();
}

LxStatus IniImporter::Import(const std::string& path, ConfigStore* store) {
  const std::string set = SetNameFor(path);
  if (set.empty() || set.size() > wire::kMaxNameBytes) return Refuse(path, "the file name gives no usable set name");
  std::vector<ConfigEntry> entries;
  LxStatus status = Read(path, &entries);
  if (!status.ok()) return status;
  status = store->layers().ImportDefaults(set, entries);
  if (!status.ok()) return WithContext(path, status);
  return LxStatus::Ok();
}

}  // namespace qet_cfgserver
