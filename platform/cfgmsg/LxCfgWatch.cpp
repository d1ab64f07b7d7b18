#include "LxCfgWatch.h"

namespace qet_cfgserver {

class LxCfgWatch::Connection {};

LxCfgWatch::LxCfgWatch(std::unique_ptr<Connection> connection) : connection_(std::move(connection)) {}

LxCfgWatch::~LxCfgWatch() = default;

std::unique_ptr<LxCfgWatch> LxCfgWatch::Open(const std::string&, const std::string&, const LxCfgScope&,
                                             CfgItemStatus::Status* status) {
  if (status != nullptr) *status = CfgItemStatus::kRejected;  // not yet served
  return nullptr;
}

std::unique_ptr<LxCfgWatch> LxCfgWatch::OpenAt(const std::string&, const std::string&, const LxCfgScope&,
                                               CfgItemStatus::Status* status) {
  if (status != nullptr) *status = CfgItemStatus::kRejected;  // not yet served
  return nullptr;
}

CfgItemStatus::Status LxCfgWatch::Next(Event*, const ACE_Time_Value&) { return CfgItemStatus::kNoServer; }

void LxCfgWatch::Close() {}

}  // namespace qet_cfgserver
