#pragma once

#include <map>
#include <string>

#include "common/LxStatus.h"
#include "schema/Schema.h"

namespace qet_cfgserver {

// Every schema the server knows, by the set each governs; what each path
// that changes a value asks before it changes anything. Load the schemas
// first (one thread), then share it: any number of threads may call Check
// at once.
class SchemaSet {
 public:
  // Reads the schema file at path (Schema::ReadFile) and adds it.
  LxStatus Load(const std::string& path);

  // Adds schema; InvalidArgument when its set has a schema already.
  LxStatus Add(Schema schema);

  // True when value may be stored under set, section, key: no schema
  // governs set, no rule names the key there, or the value is of the rule's
  // type. Otherwise false, and *reason (never null) says why, the value
  // first: "15OO is not an integer in 68..9000". Costs a lookup of the set
  // and Schema::TypeOf, whatever the store holds.
  bool Check(const std::string& set, const std::string& section, const std::string& key, const std::string& value,
             std::string* reason) const;

  bool empty() const { return schemas_.empty(); }
  // Whether a schema governs set: what Check would look at at all.
  bool Governs(const std::string& set) const { return schemas_.count(set) != 0; }

 private:
  std::map<std::string, Schema> schemas_;  // by set
};

}  // namespace qet_cfgserver
