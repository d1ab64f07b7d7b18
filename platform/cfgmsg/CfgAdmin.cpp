#include "cfgmsg/CfgAdmin.h"

namespace qet_cfgserver {

CfgItemStatus::Status LxiConfigure::DeleteScope(const LxCfgScope&, const std::string&) {
  return CfgItemStatus::kRejected;
}

CfgItemStatus::Status LxiConfigure::ExportSet(const std::string&, std::vector<LxCfgEntry>& entries,
                                              const std::string&) {
  entries.clear();
  return CfgItemStatus::kRejected;
}

CfgItemStatus::Status LxiConfigure::ImportSet(const std::string&, const std::vector<LxCfgEntry>&, bool,
                                              const std::string&) {
  return CfgItemStatus::kRejected;
}

CfgItemStatus::Status LxiConfigure::ListChanges(const LxCfgScope&, std::vector<LxCfgChange>& changes,
                                                const std::string&) {
  changes.clear();
  return CfgItemStatus::kRejected;
}

CfgItemStatus::Status LxiConfigure::ResetScope(const LxCfgScope&, const std::string&) {
  return CfgItemStatus::kRejected;
}

CfgItemStatus::Status DeleteCfg(LxiConfigure& client, const LxCfgScope& scope, const std::string& tag) {
  return client.DeleteScope(scope, tag);
}

CfgItemStatus::Status ExportCfgSet(LxiConfigure& client, const std::string& set, std::vector<LxCfgEntry>& entries,
                                   const std::string& tag) {
  entries.clear();
  return client.ExportSet(set, entries, tag);
}

CfgItemStatus::Status ImportCfgSet(LxiConfigure& client, const std::string& set,
                                   const std::vector<LxCfgEntry>& entries, bool replace, const std::string& tag) {
  return client.ImportSet(set, entries, replace, tag);
}

CfgItemStatus::Status GetCfgChanges(LxiConfigure& client, const LxCfgScope& scope,
                                    std::vector<LxCfgChange>& changes, const std::string& tag) {
  changes.clear();
  return client.ListChanges(scope, changes, tag);
}

CfgItemStatus::Status ResetCfg(LxiConfigure& client, const LxCfgScope& scope, const std::string& tag) {
  return client.ResetScope(scope, tag);
}

}  // namespace qet_cfgserver
