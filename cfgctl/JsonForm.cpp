#include "cfgctl/JsonForm.h"

#include <nettle/base64.h>

#include <cstdint>

#include "cfgctl/Output.h"

namespace cfgctl {

using namespace qet_cfgserver;

namespace {

constexpr int kCompact = -1;
constexpr char kIndentCharacter = ' ';
constexpr bool kEnsureAscii = false;  // UTF-8 out, not \u escapes

const char* const kAdded = "added";
const char* const kChanged = "changed";
const char* const kDeleted = "deleted";

std::string Dump(const JsonForm::Json& value, JsonForm::Json::error_handler_t onInvalidUtf8) {
  return value.dump(kCompact, kIndentCharacter, kEnsureAscii, onInvalidUtf8);
}

// A number the server may not know: null then.
JsonForm::Json KnownNumber(std::uint32_t number, std::uint32_t unknown) {
  return number == unknown ? JsonForm::Json() : JsonForm::Json(number);
}

// Text the server may not know (empty then): null then.
JsonForm::Json KnownText(const std::string& text) { return text.empty() ? JsonForm::Json() : JsonForm::Bytes(text); }

// One key of a listing or an export.
JsonForm::Json KeyOf(const std::string& key, const std::string& value) {
  return {{"key", JsonForm::Bytes(key)}, {"value", JsonForm::Bytes(value)}};
}

JsonForm::Json ChangeOf(const char* kind, const std::string& set, const std::string& section, const std::string& key,
                        const std::string* value, const std::string* was) {
  JsonForm::Json change = {{"change", kind},
                           {"set", JsonForm::Bytes(set)},
                           {"section", JsonForm::Bytes(section)},
                           {"key", JsonForm::Bytes(key)}};
  if (value != nullptr) change["value"] = JsonForm::Bytes(*value);
  if (was != nullptr) change["was"] = JsonForm::Bytes(*was);
  return change;
}

}  // namespace

// The test is the JSON library's own: its writer decodes UTF-8 to decide
// what it may write (replacing, or else dropping, what it cannot), so asking
// it can never disagree with it, as a second decoder written here could;
// and a string that passes here is one dump() cannot throw on. Valid bytes
// come out the same under both handlers; any invalid sequence gives a
// U+FFFD under one and nothing under the other.
bool JsonForm::IsUtf8(const std::string& bytes) {
  const Json text = bytes;
  return Dump(text, Json::error_handler_t::ignore) == Dump(text, Json::error_handler_t::replace);
}

std::string JsonForm::Base64(const std::string& bytes) {
  std::string text(BASE64_ENCODE_RAW_LENGTH(bytes.size()), '\0');
  if (!bytes.empty())
    base64_encode_raw(&text[0], bytes.size(), reinterpret_cast<const std::uint8_t*>(bytes.data()));
  return text;
}

JsonForm::Json JsonForm::Bytes(const std::string& bytes) {
  if (IsUtf8(bytes)) return bytes;
  return {{"base64", Base64(bytes)}};
}

std::string JsonForm::Line(const Json& document) {
  // Bytes made every string valid UTF-8, so nothing is replaced; replace
  // rather than the default strict only so that dump() cannot throw.
  return Dump(document, Json::error_handler_t::replace);
}

std::string JsonForm::Document(const Json& document) { return Line(document) + "\n"; }

JsonForm::Json JsonForm::Value(const std::string& set, const std::string& section, const std::string& key,
                               const std::string& value) {
  return {{"set", Bytes(set)}, {"section", Bytes(section)}, {"key", Bytes(key)}, {"value", Bytes(value)}};
}

JsonForm::Json JsonForm::List(const std::vector<std::string>& scope, const std::set<std::string>& names) {
  Json list = Json::array();
  for (const std::string& name : names) list.push_back(Bytes(name));
  if (scope.empty()) return {{"sets", list}};
  return {{"set", Bytes(scope[0])}, {"sections", list}};
}

JsonForm::Json JsonForm::List(const std::vector<std::string>& scope, const std::list<LxCfgKeyValuePair>& pairs) {
  Json keys = Json::array();
  for (const LxCfgKeyValuePair& pair : pairs) keys.push_back(KeyOf(pair.GetKey(), pair.GetValue()));
  return {{"set", Bytes(scope[0])}, {"section", Bytes(scope[1])}, {"keys", keys}};
}

JsonForm::Json JsonForm::Set(const std::string& set, const std::vector<ConfigEntry>& entries) {
  Json sections = Json::array();
  const std::string* section = nullptr;
  for (const ConfigEntry& entry : entries) {
    if (section == nullptr || *section != entry.section) {
      sections.push_back({{"section", Bytes(entry.section)}, {"keys", Json::array()}});
      section = &entry.section;
    }
    sections.back()["keys"].push_back(KeyOf(entry.key, entry.value));
  }
  return {{"set", Bytes(set)}, {"sections", sections}};
}

JsonForm::Json JsonForm::Change(const LxCfgChange& change) {
  switch (change.kind) {
    case LxCfgChange::Kind::kAdded:
      return ChangeOf(kAdded, change.set, change.section, change.key, &change.value, nullptr);
    case LxCfgChange::Kind::kChanged:
      return ChangeOf(kChanged, change.set, change.section, change.key, &change.value, &change.defaultValue);
    case LxCfgChange::Kind::kDeleted:
      break;
  }
  return ChangeOf(kDeleted, change.set, change.section, change.key, nullptr, &change.defaultValue);
}

JsonForm::Json JsonForm::Change(const KeyChange& change) {
  const char* kind = !change.before ? kAdded : !change.after ? kDeleted : kChanged;
  return ChangeOf(kind, change.set, change.section, change.key, change.after ? &*change.after : nullptr,
                  change.before ? &*change.before : nullptr);
}

JsonForm::Json JsonForm::Changes(const std::vector<LxCfgChange>& changes) {
  Json list = Json::array();
  for (const LxCfgChange& change : changes) list.push_back(Change(change));
  return list;
}

JsonForm::Json JsonForm::Changes(const std::vector<KeyChange>& changes) {
  Json list = Json::array();
  for (const KeyChange& change : changes) list.push_back(Change(change));
  return list;
}

JsonForm::Json JsonForm::Revision(const RevisionEntry& entry) {
  const ChangeAuthor& author = entry.author;
  return {{"revision", entry.number},
          {"time", KnownText(Output::Time(entry.time))},
          {"uid", KnownNumber(author.uid, ChangeAuthor::kUnknownUser)},
          {"user", KnownText(author.userName)},
          {"pid", KnownNumber(author.pid, ChangeAuthor::kUnknownProcess)},
          {"program", KnownText(author.program)},
          {"client", Bytes(author.client)},
          {"tag", Bytes(author.tag)},
          {"summary", Bytes(entry.summary)},
          {"keys", entry.keys}};
}

JsonForm::Json JsonForm::Event(const LxCfgWatch::Event& event, bool resuming) {
  if (event.kind == LxCfgWatch::Event::Kind::kMissed)
    return {{"change", "missed"}, {resuming ? "revisions" : "changes", event.missed}};
  const bool deleted = event.kind == LxCfgWatch::Event::Kind::kDeleted;
  Json line = Json::object();
  if (resuming) line["revision"] = event.revision;
  line["change"] = deleted ? kDeleted : "set";
  line["set"] = Bytes(event.set);
  line["section"] = Bytes(event.section);
  line["key"] = Bytes(event.key);
  if (!deleted) line["value"] = Bytes(event.value);
  return line;
}

}  // namespace cfgctl
