#pragma once

#include <string>
#include <vector>

#include "cfgmsg/LxiConfigure.h"

namespace quenlo_test {

// An LxiConfigure kept in memory, for tests of the commands: key listings
// return the rows added, in their order; every request is recorded with its
// tag. Not thread-safe.
class InMemoryConfigure : public qet_cfgserver::LxiConfigure {
 public:
  using Status = qet_cfgserver::CfgItemStatus::Status;
  struct Row {
    std::string operation, set, section, key, value, tag;
  };

  void AddPair(const std::string& set, const std::string& section, const std::string& key, const std::string& value) {
    rows_.push_back({"", set, section, key, value, ""});
  }
  const std::vector<Row>& calls() const { return calls_; }

  Status ListSets(std::set<std::string>&, const std::string& tag) override {
    calls_.push_back({"ListSets", "", "", "", "", tag});
    return qet_cfgserver::CfgItemStatus::kSuccess;
  }
  Status ListSections(const std::string& set, std::set<std::string>&, const std::string& tag) override {
    calls_.push_back({"ListSections", set, "", "", "", tag});
    return qet_cfgserver::CfgItemStatus::kSuccess;
  }
  Status ListKeysAndValues(const std::string& set, const std::string& section,
                           std::list<qet_cfgserver::LxCfgKeyValuePair>& pairs, const std::string& tag) override {
    calls_.push_back({"ListKeysAndValues", set, section, "", "", tag});
    for (const Row& row : rows_)
      if (row.set == set && row.section == section) pairs.emplace_back(row.key, row.value);
    return qet_cfgserver::CfgItemStatus::kSuccess;
  }
  Status ReadValue(const std::string& set, const std::string& section, const std::string& key, std::string&,
                   const std::string& tag) override {
    calls_.push_back({"ReadValue", set, section, key, "", tag});
    return qet_cfgserver::CfgItemStatus::kKeyNotFound;
  }
  Status WriteValue(const std::string& set, const std::string& section, const std::string& key,
                    const std::string& value, const std::string& tag) override {
    calls_.push_back({"WriteValue", set, section, key, value, tag});
    return qet_cfgserver::CfgItemStatus::kSuccess;
  }
  void Release() override {}

 private:
  std::vector<Row> rows_;
  std::vector<Row> calls_;
};

}  // namespace quenlo_test
