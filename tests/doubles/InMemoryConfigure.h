#pragma once

#include <string>
#include <vector>

#include "LxiConfigure.h"

namespace quenlo_test {

// An LxiConfigure kept in memory, for tests of the commands: rows in the
// order they were added, and a record of every request with its tag.
// Not thread-safe.
class InMemoryConfigure : public qet_cfgserver::LxiConfigure {
 public:
  using Status = qet_cfgserver::CfgItemStatus::Status;
  struct Row {
    std::string operation, set, section, key, value, tag;
  };

  void AddPair(const std::string& set, const std::string& section, const std::string& key, const std::string& value) {
    rows_.push_back({"", set, section, key, value, ""});
  }
  void FailValueRequestsWith(Status status) { valueStatus_ = status; }
  const std::vector<Row>& calls() const { return calls_; }

  Status ListSets(std::set<std::string>& sets, const std::string& tag) override {
    calls_.push_back({"ListSets", "", "", "", "", tag});
    for (const Row& row : rows_) sets.insert(row.set);
    return qet_cfgserver::CfgItemStatus::kSuccess;
  }
  Status ListSections(const std::string& set, std::set<std::string>& sections, const std::string& tag) override {
    calls_.push_back({"ListSections", set, "", "", "", tag});
    for (const Row& row : rows_)
      if (row.set == set) sections.insert(row.section);
    return qet_cfgserver::CfgItemStatus::kSuccess;
  }
  Status ListKeysAndValues(const std::string& set, const std::string& section,
                           std::list<qet_cfgserver::LxCfgKeyValuePair>& pairs, const std::string& tag) override {
    calls_.push_back({"ListKeysAndValues", set, section, "", "", tag});
    for (const Row& row : rows_)
      if (row.set == set && row.section == section) pairs.emplace_back(row.key, row.value);
    return qet_cfgserver::CfgItemStatus::kSuccess;
  }
  Status ReadValue(const std::string& set, const std::string& section, const std::string& key, std::string& value,
                   const std::string& tag) override {
    calls_.push_back({"ReadValue", set, section, key, "", tag});
    if (valueStatus_ != qet_cfgserver::CfgItemStatus::kSuccess) return valueStatus_;
    for (const Row& row : rows_)
      if (row.set == set && row.section == section && row.key == key) value = row.value;
    return value.empty() ? qet_cfgserver::CfgItemStatus::kKeyNotFound : qet_cfgserver::CfgItemStatus::kSuccess;
  }
  Status WriteValue(const std::string& set, const std::string& section, const std::string& key,
                    const std::string& value, const std::string& tag) override {
    calls_.push_back({"WriteValue", set, section, key, value, tag});
    return valueStatus_;
  }
  void Release() override {}

 private:
  std::vector<Row> rows_;
  std::vector<Row> calls_;
  Status valueStatus_ = qet_cfgserver::CfgItemStatus::kSuccess;
};

}  // namespace quenlo_test
