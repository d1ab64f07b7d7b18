#pragma once

#include <string>

namespace qet_cfgserver {

// What a schema rule allows a key's value to be: an integer in a range, one
// of some words, an address, a pattern... ValueTypeParser makes one from a
// rule's text. Immutable once made: any number of threads may call Accepts
// at once.
class ValueType {
 public:
  virtual ~ValueType() = default;

  // True when value is of this type. Otherwise false, and *reason (never
  // null) says why, the value first, then what it should be:
  // "15OO is not an integer in 68..9000".
  virtual bool Accepts(const std::string& value, std::string* reason) const = 0;

 protected:
  // value as the first word of a reason: quoted as cfgctl quotes words when
  // it is empty or holds blanks, '=' or control bytes, and cut short after
  // kMaxShownBytes, so that a reason is always one short line.
  static std::string Shown(const std::string& value);

  static const std::size_t kMaxShownBytes;
};

}  // namespace qet_cfgserver
