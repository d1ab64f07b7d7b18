#pragma once

#include <string>

namespace qet_cfgserver {

// One key of a section with its value, as a listing returns it. A plain value
// type: copy it freely, share it between threads only read-only.
class LxCfgKeyValuePair {
 public:
  LxCfgKeyValuePair(std::string key, std::string value);
  virtual ~LxCfgKeyValuePair();

  LxCfgKeyValuePair(const LxCfgKeyValuePair&) = default;
  LxCfgKeyValuePair& operator=(const LxCfgKeyValuePair&) = default;

  const std::string& GetKey() const { return key_; }
  const std::string& GetValue() const { return value_; }

 private:
  std::string key_;
  std::string value_;
};

}  // namespace qet_cfgserver
