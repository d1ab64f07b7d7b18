#include "commands/ConfigCommands.h"

#include <algorithm>
#include <iostream>
#include <list>
#include <set>

#include "cfgmsg/CfgRequests.h"

namespace quenlo {

namespace {

using qet_cfgserver::CfgItemStatus::LxCfgItemStatus;

constexpr const char* kListingTag = "CfgUtil";
constexpr const char* kReadTag = "RMy Test";
constexpr const char* kWriteTag = "My-Test";
constexpr const char* kIndent = "    ";
constexpr const char* kHeadingSeparator = " : ";
constexpr const char* kStatusSeparator = "    status = ";
constexpr const char* kNoSets = "    Nothing found!";
constexpr const char* kNothing = "    pfffft - nothing!";
constexpr std::size_t kKeyPadding = 4;

// A heading followed by an empty line.
void WriteHeading(const std::string& heading) { std::cout << kIndent << heading << std::endl << std::endl; }

void WriteNames(const std::set<std::string>& names, const char* whenEmpty) {
  if (names.empty()) {
    std::cout << whenEmpty << std::endl;
    return;
  }
  for (const std::string& name : names) std::cout << kIndent << name << std::endl;
}

void WriteValueAndStatus(const std::string& value, qet_cfgserver::CfgItemStatus::Status status) {
  std::cout << kIndent << value << kStatusSeparator << LxCfgItemStatus::GetLabel(status) << std::endl;
}

std::string KeyPath(const std::string& set, const std::string& section, const std::string& key) {
  return set + kHeadingSeparator + section + kHeadingSeparator + key;
}

}  // namespace

void ShowCfgSets(qet_cfgserver::LxiConfigure& client) {
  WriteHeading("Available Configuration Sets");
  std::set<std::string> sets;
  qet_cfgserver::GetCfgSets(client, sets, kListingTag);
  WriteNames(sets, kNoSets);
}

void ShowCfgSections(qet_cfgserver::LxiConfigure& client, const std::string& set) {
  WriteHeading("Available Configuration Sections for " + set);
  std::set<std::string> sections;
  qet_cfgserver::GetCfgSections(client, set, sections, kListingTag);
  WriteNames(sections, kNothing);
}

void ShowCfgKeysAndValues(qet_cfgserver::LxiConfigure& client, const std::string& set, const std::string& section) {
  WriteHeading("Available Configuration Keys and Values for " + set + kHeadingSeparator + section);
  std::list<qet_cfgserver::LxCfgKeyValuePair> pairs;
  qet_cfgserver::GetCfgKeysAndValues(client, set, section, pairs, kListingTag);
  if (pairs.empty()) {
    std::cout << kNothing << std::endl;
    return;
  }
  std::size_t longestKey = 0;
  for (const auto& pair : pairs) longestKey = std::max(longestKey, pair.GetKey().size());
  const std::size_t columnWidth = longestKey + kKeyPadding;
  for (const auto& pair : pairs) {
    const std::string& key = pair.GetKey();
    std::cout << kIndent << key << std::string(columnWidth - key.size(), ' ') << pair.GetValue() << std::endl;
  }
}

void ShowCfgValue(qet_cfgserver::LxiConfigure& client, const std::string& set, const std::string& section,
                  const std::string& key) {
  std::string value;
  const auto status =
      qet_cfgserver::GetCfgValue(client, set, section, key, value, kReadTag, qet_cfgserver::CfgItemCommand::kGet);
  WriteHeading("Configuration Key Value for " + KeyPath(set, section, key));
  WriteValueAndStatus(value, status);
}

void ChangeCfgValue(qet_cfgserver::LxiConfigure& client, const std::string& set, const std::string& section,
                    const std::string& key, const std::string& value) {
  const auto status =
      qet_cfgserver::SetCfgValue(client, set, section, key, value, kWriteTag, qet_cfgserver::CfgItemCommand::kSet);
  WriteHeading("Set Configuration Key Value for " + KeyPath(set, section, key));
  WriteValueAndStatus(value, status);
}

}  // namespace quenlo
