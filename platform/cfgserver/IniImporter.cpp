#include "IniImporter.h"

#include <ace/Configuration.h>
#include <ace/Configuration_Import_Export.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "Limits.h"

namespace qet_cfgserver {

namespace {

// ACE names a nested section "a\b" by nesting; the flattened name keeps the
// separator the file used.
constexpr const char* kSectionSeparator = "\\";

LxStatus Refuse(const std::string& path, const std::string& reason) {
  return LxStatus::InvalidArgument(path + ": " + reason);
}

LxStatus CheckEntry(const std::string& path, const ConfigEntry& entry) {
  if (entry.key.empty()) return Refuse(path, "empty key name in section [" + entry.section + "]");
  if (entry.section.size() > wire::kMaxNameBytes) return Refuse(path, "section name over the length limit");
  if (entry.key.size() > wire::kMaxNameBytes) return Refuse(path, "key name over the length limit: " + entry.key.substr(0, 40));
  if (entry.value.size() > wire::kMaxValueBytes) return Refuse(path, "value of " + entry.key + " over the length limit");
  return LxStatus::Ok();
}

// Copies the values of section and of every section below it.
LxStatus CollectSection(ACE_Configuration_Heap& heap, const ACE_Configuration_Section_Key& section,
                        const std::string& name, const std::string& path, std::vector<ConfigEntry>* entries) {
  ACE_TString itemName;
  ACE_Configuration::VALUETYPE type;
  for (int index = 0; heap.enumerate_values(section, index, itemName, type) == 0; ++index) {
    ACE_TString value;
    if (heap.get_string_value(section, itemName.c_str(), value) != 0) return Refuse(path, "unreadable value");
    ConfigEntry entry{name, std::string(itemName.c_str(), itemName.length()), std::string(value.c_str(), value.length())};
    LxStatus status = CheckEntry(path, entry);
    if (!status.ok()) return status;
    entries->push_back(std::move(entry));
  }
  for (int index = 0; heap.enumerate_sections(section, index, itemName) == 0; ++index) {
    ACE_Configuration_Section_Key child;
    if (heap.open_section(section, itemName.c_str(), 0, child) != 0) return Refuse(path, "unreadable section");
    const std::string childName = name.empty() ? itemName.c_str() : name + kSectionSeparator + itemName.c_str();
    LxStatus status = CollectSection(heap, child, childName, path, entries);
    if (!status.ok()) return status;
  }
  return LxStatus::Ok();
}

}  // namespace

std::string IniImporter::SetNameFor(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string::size_type dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

LxStatus IniImporter::Read(const std::string& path, std::vector<ConfigEntry>* entries) {
  // ACE reports every failure alike; opening first tells "cannot read" apart
  // from "cannot parse".
  FILE* file = fopen(path.c_str(), "r");
  if (file == nullptr) return Refuse(path, std::string("cannot read: ") + strerror(errno));
  fclose(file);

  ACE_Configuration_Heap heap;
  if (heap.open() != 0) return Refuse(path, "cannot set up the parser");
  ACE_Ini_ImpExp parser(heap);
  if (parser.import_config(path.c_str()) != 0)
    return Refuse(path, "not a valid INI file (every line must be [section], key = value, a comment or blank; "
                        "keys only inside a section; lines under 4 KB)");

  entries->clear();
  return CollectSection(heap, heap.root_section(), std::string(), path, entries);
}

LxStatus IniImporter::Import(const std::string& path, ConfigStore* store) {
  const std::string set = SetNameFor(path);
  if (set.empty() || set.size() > wire::kMaxNameBytes) return Refuse(path, "the file name gives no usable set name");
  std::vector<ConfigEntry> entries;
  LxStatus status = Read(path, &entries);
  if (!status.ok()) return status;
  status = store->ImportDefaults(set, entries);
  if (!status.ok()) return WithContext(path, status);
  return LxStatus::Ok();
}

}  // namespace qet_cfgserver
