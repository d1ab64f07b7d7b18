#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/LxStatus.h"
#include "schema/types/ValueType.h"

namespace qet_cfgserver {

// "text MAXBYTES": any bytes, at most MAXBYTES of them.
class TextType : public ValueType {
 public:
  // mostBytes is a whole number, 0 or more (DecimalInteger).
  static LxStatus Create(const std::string& mostBytes, std::unique_ptr<const ValueType>* type);

  bool Accepts(const std::string& value, std::string* reason) const override;

 private:
  explicit TextType(std::uint64_t mostBytes) : mostBytes_(mostBytes) {}

  const std::uint64_t mostBytes_;
};

}  // namespace qet_cfgserver
