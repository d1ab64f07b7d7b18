#pragma once

#include <memory>
#include <set>
#include <string>

#include "common/LxStatus.h"
#include "schema/types/ValueType.h"

namespace qet_cfgserver {

// "enum A|B|C": exactly one of the choices, compared byte for byte.
class EnumType : public ValueType {
 public:
  // choices is "A|B|C": one or more choices, none empty, none holding a
  // blank or a control byte (so that "a | b" cannot mean "a " silently).
  static LxStatus Create(const std::string& choices, std::unique_ptr<const ValueType>* type);

  bool Accepts(const std::string& value, std::string* reason) const override;

 private:
  EnumType(std::string written, std::set<std::string> choices)
      : written_(std::move(written)), choices_(std::move(choices)) {}

  const std::string written_;  // as the schema wrote them, for reasons
  const std::set<std::string> choices_;
};

}  // namespace qet_cfgserver
