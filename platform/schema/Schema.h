#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/LxStatus.h"
#include "schema/SectionPattern.h"
#include "schema/types/ValueType.h"

namespace qet_cfgserver {

// The rules of one schema file, for the set named after the file
// ("network.schema" governs set "network"; named as SetFileName names an
// INI file's set). The file is INI of that one set, read by IniReader (an
// export, whose first line is "; set NAME", is refused):
//
//   [eth*]
//   mtu = integer 68..9000
//   mode = enum dhcp|static|off
//
// Each "key = TYPE" gives key a type (ValueTypeParser) in the sections the
// section name matches (SectionPattern: '*' stands for any run of bytes).
// When several sections match a section's name and give the key a type, the
// most specific gives it (SectionPattern::MoreSpecificThan; a name without
// '*' is more specific than any pattern), and of equally specific ones the
// one written first. Keys no rule names take any value.
//
// Read once, then immutable: any number of threads may call TypeOf at once.
class Schema {
 public:
  Schema();
  ~Schema();
  Schema(Schema&&);
  Schema& operator=(Schema&&);

  // Reads the schema file at path. Errors name the file and the line, one
  // line of the message per error: the reader's first, or every rule whose
  // type is bad or whose key a section names twice (where the reader would
  // only warn and keep the last).
  static LxStatus ReadFile(const std::string& path, Schema* schema);

  // The same for text; path names the file in errors and gives the set.
  static LxStatus Parse(const std::string& text, const std::string& path, Schema* schema);

  // The set this schema governs.
  const std::string& set() const { return set_; }

  // The type key must have in section; null when no rule names it there.
  // Costs a lookup in the sections named without '*' and a match against
  // each pattern that names key; not the size of anything stored.
  const ValueType* TypeOf(const std::string& section, const std::string& key) const;

 private:
  using KeyTypes = std::map<std::string, std::unique_ptr<const ValueType>>;
  struct WildcardSection {
    SectionPattern pattern;
    KeyTypes types;
  };

  KeyTypes& TypesOf(const std::string& section);
  void OrderWildcards();

  std::string set_;
  std::map<std::string, KeyTypes> named_;  // sections without '*', by name
  std::vector<WildcardSection> wildcards_;  // most specific first, equals in file order
};

}  // namespace qet_cfgserver
