#pragma once

#include <memory>
#include <string>

#include "common/LxStatus.h"
#include "schema/types/ValueType.h"

namespace qet_cfgserver {

// Reads the type a schema rule gives a key: a type name, then, for the types
// that take one, blanks and an argument:
//   integer MIN..MAX   boolean   enum A|B|C   ipv4   ipv6   hostname
//   text MAXBYTES      pattern REGEX
// The argument is the rest of the text (a pattern may hold blanks).
class ValueTypeParser {
 public:
  // InvalidArgument saying what is wrong with text.
  static LxStatus Parse(const std::string& text, std::unique_ptr<const ValueType>* type);
};

}  // namespace qet_cfgserver
