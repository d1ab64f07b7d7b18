#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/LxStatus.h"
#include "schema/types/ValueType.h"

namespace qet_cfgserver {

// "integer MIN..MAX": a whole number (DecimalInteger) from MIN to MAX, both
// included, both within 64 bits.
class IntegerType : public ValueType {
 public:
  // range is "MIN..MAX" with MIN <= MAX.
  static LxStatus Create(const std::string& range, std::unique_ptr<const ValueType>* type);

  bool Accepts(const std::string& value, std::string* reason) const override;

 private:
  IntegerType(std::int64_t lowest, std::int64_t highest) : lowest_(lowest), highest_(highest) {}

  const std::int64_t lowest_, highest_;
};

}  // namespace qet_cfgserver
