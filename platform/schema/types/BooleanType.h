#pragma once

#include <string>

#include "schema/types/ValueType.h"

namespace qet_cfgserver {

// "boolean": exactly one of true, false, yes, no, on, off, 1, 0 (lower
// case, nothing around it); the spellings services commonly read.
class BooleanType : public ValueType {
 public:
  bool Accepts(const std::string& value, std::string* reason) const override;
};

}  // namespace qet_cfgserver
