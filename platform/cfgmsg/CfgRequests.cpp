#include "cfgmsg/CfgRequests.h"

#include "cfgmsg/LxIpcClient.h"

namespace qet_cfgserver {

LxiConfigure::~LxiConfigure() = default;

LxiConfigure* CreateIpcClient(const std::string& clientName, const std::string& endpointName) {
  return LxIpcClient::Create(clientName, endpointName);
}

CfgItemStatus::Status GetCfgSets(LxiConfigure& client, std::set<std::string>& sets, const std::string& tag) {
  return client.ListSets(sets, tag);
}

CfgItemStatus::Status GetCfgSections(LxiConfigure& client, const std::string& set, std::set<std::string>& sections,
                                     const std::string& tag) {
  return client.ListSections(set, sections, tag);
}

CfgItemStatus::Status GetCfgKeysAndValues(LxiConfigure& client, const std::string& set, const std::string& section,
                                          std::list<LxCfgKeyValuePair>& pairs, const std::string& tag) {
  return client.ListKeysAndValues(set, section, pairs, tag);
}

CfgItemStatus::Status GetCfgValue(LxiConfigure& client, const std::string& set, const std::string& section,
                                  const std::string& key, std::string& value, const std::string& tag,
                                  CfgItemCommand::Command command) {
  value.clear();
  if (command != CfgItemCommand::kGet) return CfgItemStatus::kRejected;
  return client.ReadValue(set, section, key, value, tag);
}

CfgItemStatus::Status SetCfgValue(LxiConfigure& client, const std::string& set, const std::string& section,
                                  const std::string& key, const std::string& value, const std::string& tag,
                                  CfgItemCommand::Command command) {
  if (command != CfgItemCommand::kSet) return CfgItemStatus::kRejected;
  return client.WriteValue(set, section, key, value, tag);
}

}  // namespace qet_cfgserver
