#include "cfgmsg/CfgAdmin.h"

namespace qet_cfgserver {

CfgItemStatus::Status LxiConfigure::DeleteScope(const ConfigScope&, const std::string&, std::uint32_t) {
  return CfgItemStatus::kRejected;
}

CfgItemStatus::Status LxiConfigure::ExportSet(const std::string&, std::vector<ConfigEntry>& entries,
                                              const std::string&) {
  entries.clear();
  return CfgItemStatus::kRejected;
}

CfgItemStatus::Status LxiConfigure::ImportSet(const std::string&, const std::vector<ConfigEntry>&, bool,
                                              const std::string&, std::uint32_t) {
  return CfgItemStatus::kRejected;
}

CfgItemStatus::Status LxiConfigure::ListChanges(const ConfigScope&, std::vector<LxCfgChange>& changes,
                                                const std::string&) {
  changes.clear();
  return CfgItemStatus::kRejected;
}

CfgItemStatus::Status LxiConfigure::ResetScope(const ConfigScope&, const std::string&, std::uint32_t) {
  return CfgItemStatus::kRejected;
}

CfgItemStatus::Status LxiConfigure::WriteCheckedValue(const std::string&, const std::string&, const std::string&,
                                                      const std::string&, const std::string&) {
  return CfgItemStatus::kRejected;
}

CfgItemStatus::Status LxiConfigure::PreviewImport(const std::string&, const std::vector<ConfigEntry>&, bool,
                                                  std::vector<LxCfgChange>& changes, const std::string&) {
  changes.clear();
  return CfgItemStatus::kRejected;
}

std::string LxiConfigure::LastReason() const { return ""; }

CfgItemStatus::Status LxiConfigure::CheckWritable(const std::string&, const std::string&) {
  return CfgItemStatus::kSuccess;
}

LxStatus LxiConfigure::ConnectionProblem() const { return LxStatus::Ok(); }

CfgItemStatus::Status CheckCfgSetWritable(LxiConfigure& client, const std::string& set, const std::string& tag) {
  return client.CheckWritable(set, tag);
}

CfgItemStatus::Status DeleteCfg(LxiConfigure& client, const ConfigScope& scope, const std::string& tag,
                                std::uint32_t confirmSeconds) {
  return client.DeleteScope(scope, tag, confirmSeconds);
}

CfgItemStatus::Status ExportCfgSet(LxiConfigure& client, const std::string& set, std::vector<ConfigEntry>& entries,
                                   const std::string& tag) {
  entries.clear();
  return client.ExportSet(set, entries, tag);
}

CfgItemStatus::Status ImportCfgSet(LxiConfigure& client, const std::string& set,
                                   const std::vector<ConfigEntry>& entries, bool replace, const std::string& tag,
                                   std::uint32_t confirmSeconds) {
  return client.ImportSet(set, entries, replace, tag, confirmSeconds);
}

CfgItemStatus::Status GetCfgChanges(LxiConfigure& client, const ConfigScope& scope,
                                    std::vector<LxCfgChange>& changes, const std::string& tag) {
  changes.clear();
  return client.ListChanges(scope, changes, tag);
}

CfgItemStatus::Status ResetCfg(LxiConfigure& client, const ConfigScope& scope, const std::string& tag,
                               std::uint32_t confirmSeconds) {
  return client.ResetScope(scope, tag, confirmSeconds);
}

CfgItemStatus::Status SetCfgValueChecked(LxiConfigure& client, const std::string& set, const std::string& section,
                                         const std::string& key, const std::string& value, const std::string& tag) {
  return client.WriteCheckedValue(set, section, key, value, tag);
}

CfgItemStatus::Status PreviewCfgImport(LxiConfigure& client, const std::string& set,
                                       const std::vector<ConfigEntry>& entries, bool replace,
                                       std::vector<LxCfgChange>& changes, const std::string& tag) {
  changes.clear();
  return client.PreviewImport(set, entries, replace, changes, tag);
}

std::string CfgRejectionReason(const LxiConfigure& client) { return client.LastReason(); }

}  // namespace qet_cfgserver
