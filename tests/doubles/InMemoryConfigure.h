#pragma once

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "LxiConfigure.h"

namespace quenlo_test {

// An LxiConfigure kept in memory, for tests of the commands. Records every
// request it receives, so tests can check what was asked and with which tag.
// Not thread-safe.
class InMemoryConfigure : public qet_cfgserver::LxiConfigure {
 public:
  using Status = qet_cfgserver::CfgItemStatus::Status;

  struct Call {
    std::string operation;
    std::string set, section, key, value, tag;
  };

  // Pairs of a section, in the order a listing returns them.
  void AddPair(const std::string& set, const std::string& section, const std::string& key, const std::string& value) {
    data_[set][section].emplace_back(key, value);
  }

  void FailValueRequestsWith(Status status) { valueStatus_ = status; }

  const std::vector<Call>& calls() const { return calls_; }
  bool released() const { return released_; }

  Status ListSets(std::set<std::string>& sets, const std::string& tag) override {
    calls_.push_back({"ListSets", "", "", "", "", tag});
    for (const auto& set : data_) sets.insert(set.first);
    return qet_cfgserver::CfgItemStatus::kSuccess;
  }

  Status ListSections(const std::string& set, std::set<std::string>& sections, const std::string& tag) override {
    calls_.push_back({"ListSections", set, "", "", "", tag});
    auto found = data_.find(set);
    if (found != data_.end())
      for (const auto& section : found->second) sections.insert(section.first);
    return qet_cfgserver::CfgItemStatus::kSuccess;
  }

  Status ListKeysAndValues(const std::string& set, const std::string& section,
                           std::list<qet_cfgserver::LxCfgKeyValuePair>& pairs, const std::string& tag) override {
    calls_.push_back({"ListKeysAndValues", set, section, "", "", tag});
    for (const auto& pair : *Section(set, section)) pairs.emplace_back(pair.first, pair.second);
    return qet_cfgserver::CfgItemStatus::kSuccess;
  }

  Status ReadValue(const std::string& set, const std::string& section, const std::string& key, std::string& value,
                   const std::string& tag) override {
    calls_.push_back({"ReadValue", set, section, key, "", tag});
    if (valueStatus_ != qet_cfgserver::CfgItemStatus::kSuccess) return valueStatus_;
    for (const auto& pair : *Section(set, section)) {
      if (pair.first != key) continue;
      value = pair.second;
      return qet_cfgserver::CfgItemStatus::kSuccess;
    }
    return qet_cfgserver::CfgItemStatus::kKeyNotFound;
  }

  Status WriteValue(const std::string& set, const std::string& section, const std::string& key,
                    const std::string& value, const std::string& tag) override {
    calls_.push_back({"WriteValue", set, section, key, value, tag});
    if (valueStatus_ != qet_cfgserver::CfgItemStatus::kSuccess) return valueStatus_;
    data_[set][section].emplace_back(key, value);
    return qet_cfgserver::CfgItemStatus::kSuccess;
  }

  void Release() override { released_ = true; }

 private:
  using Pairs = std::vector<std::pair<std::string, std::string>>;

  const Pairs* Section(const std::string& set, const std::string& section) {
    static const Pairs kNone;
    auto foundSet = data_.find(set);
    if (foundSet == data_.end()) return &kNone;
    auto foundSection = foundSet->second.find(section);
    return foundSection == foundSet->second.end() ? &kNone : &foundSection->second;
  }

  std::map<std::string, std::map<std::string, Pairs>> data_;
  std::vector<Call> calls_;
  Status valueStatus_ = qet_cfgserver::CfgItemStatus::kSuccess;
  bool released_ = false;
};

}  // namespace quenlo_test
