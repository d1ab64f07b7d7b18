#include "schema/SchemaSet.h"

#include "ini/IniField.h"

namespace qet_cfgserver {

LxStatus SchemaSet::Load(const std::string& path) {
  Schema schema;
  LxStatus status = Schema::ReadFile(path, &schema);
  if (!status.ok()) return status;
  status = Add(std::move(schema));
  if (!status.ok()) return LxStatus::InvalidArgument(path + ": " + status.message());
  return LxStatus::Ok();
}

LxStatus SchemaSet::Add(Schema schema) {
  const std::string set = schema.set();
  if (!schemas_.emplace(set, std::move(schema)).second)
    return LxStatus::InvalidArgument("set " + IniField::Write(set, IniField::Place::kWord) + " has a schema already");
  return LxStatus::Ok();
}

bool SchemaSet::Check(const std::string& set, const std::string& section, const std::string& key,
                      const std::string& value, std::string* reason) const {
  const auto schema = schemas_.find(set);
  if (schema == schemas_.end()) return true;
  const ValueType* type = schema->second.TypeOf(section, key);
  return type == nullptr || type->Accepts(value, reason);
}

}  // namespace qet_cfgserver
