#include "cfgmsg/CfgHistory.h"

#include "cfgwire/Limits.h"

namespace qet_cfgserver {

static_assert(kCfgMaxHistoryPage == wire::kMaxRevisionsPerReply, "one page is what one answer lists");

CfgItemStatus::Status LxiConfigure::ReadRevision(std::uint64_t&, std::uint64_t&, const std::string&) {
  return CfgItemStatus::kRejected;
}

CfgItemStatus::Status LxiConfigure::ListHistory(const ConfigScope&, std::uint64_t, std::uint32_t,
                                                std::vector<RevisionEntry>&, const std::string&) {
  return CfgItemStatus::kRejected;
}

CfgItemStatus::Status LxiConfigure::ShowRevision(std::uint64_t, RevisionEntry&, std::vector<KeyChange>&,
                                                 const std::string&) {
  return CfgItemStatus::kRejected;
}

CfgItemStatus::Status LxiConfigure::DiffRevisions(std::uint64_t, std::uint64_t, std::vector<KeyChange>&,
                                                  const std::string&) {
  return CfgItemStatus::kRejected;
}

CfgItemStatus::Status LxiConfigure::RollBack(std::uint64_t, std::uint64_t&, const std::string&, std::uint32_t) {
  return CfgItemStatus::kRejected;
}

CfgItemStatus::Status LxiConfigure::WriteValueToConfirm(const std::string&, const std::string&, const std::string&,
                                                        const std::string&, std::uint32_t, const std::string&) {
  return CfgItemStatus::kRejected;
}

CfgItemStatus::Status LxiConfigure::Confirm(const std::string&) { return CfgItemStatus::kRejected; }

CfgItemStatus::Status LxiConfigure::Cancel(std::uint64_t&, const std::string&) { return CfgItemStatus::kRejected; }

CfgItemStatus::Status GetCfgRevision(LxiConfigure& client, std::uint64_t& current, std::uint64_t& oldestKept,
                                     const std::string& tag) {
  current = oldestKept = 0;
  return client.ReadRevision(current, oldestKept, tag);
}

CfgItemStatus::Status GetCfgHistory(LxiConfigure& client, const ConfigScope& scope, std::uint64_t before,
                                    std::uint32_t count, std::vector<RevisionEntry>& revisions,
                                    const std::string& tag) {
  revisions.clear();
  return client.ListHistory(scope, before, count, revisions, tag);
}

CfgItemStatus::Status ShowCfgRevision(LxiConfigure& client, std::uint64_t revision, RevisionEntry& entry,
                                      std::vector<KeyChange>& changes, const std::string& tag) {
  entry = RevisionEntry();
  changes.clear();
  return client.ShowRevision(revision, entry, changes, tag);
}

CfgItemStatus::Status DiffCfgRevisions(LxiConfigure& client, std::uint64_t from, std::uint64_t to,
                                       std::vector<KeyChange>& changes, const std::string& tag) {
  changes.clear();
  return client.DiffRevisions(from, to, changes, tag);
}

CfgItemStatus::Status RollbackCfg(LxiConfigure& client, std::uint64_t revision, std::uint64_t& made,
                                  const std::string& tag, std::uint32_t confirmSeconds) {
  made = 0;
  return client.RollBack(revision, made, tag, confirmSeconds);
}

CfgItemStatus::Status SetCfgValueToConfirm(LxiConfigure& client, const std::string& set, const std::string& section,
                                           const std::string& key, const std::string& value,
                                           std::uint32_t confirmSeconds, const std::string& tag) {
  return client.WriteValueToConfirm(set, section, key, value, confirmSeconds, tag);
}

CfgItemStatus::Status ConfirmCfg(LxiConfigure& client, const std::string& tag) { return client.Confirm(tag); }

CfgItemStatus::Status CancelCfg(LxiConfigure& client, std::uint64_t& made, const std::string& tag) {
  made = 0;
  return client.Cancel(made, tag);
}

}  // namespace qet_cfgserver
