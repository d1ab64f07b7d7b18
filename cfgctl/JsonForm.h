#pragma once

#include <cstdint>
#include <list>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cfgmsg/CfgAdminTypes.h"
#include "cfgmsg/LxCfgKeyValuePair.h"
#include "cfgmsg/LxCfgWatch.h"
#include "common/ConfigTypes.h"
#include "common/RevisionTypes.h"

namespace cfgctl {

// What cfgctl --json writes: the records of each command as JSON values, and
// a whole document as one compact line of UTF-8. The shapes are described
// for scripts in cfgctl(1) and the README; listings are arrays, in the order
// the text output has them.
//
// Every name and value is a JSON string when its bytes are valid UTF-8, and
// otherwise {"base64": "..."}, the RFC 4648 base64 of its bytes (so a value
// with a NUL byte or Latin-1 text reaches a script whole, and no output line
// ever holds invalid UTF-8). Plain functions: any thread.
class JsonForm {
 public:
  // Keeps fields in the order written, so lines read as documented.
  using Json = nlohmann::ordered_json;

  // bytes as a string or {"base64": ...}, as above.
  static Json Bytes(const std::string& bytes);
  // Whether bytes are valid UTF-8 (no overlong forms, no surrogates, nothing
  // above U+10FFFF): what Bytes writes as a string.
  static bool IsUtf8(const std::string& bytes);
  // The RFC 4648 base64 of bytes, padded with '='.
  static std::string Base64(const std::string& bytes);

  // document as one compact line, without its newline; never throws.
  static std::string Line(const Json& document);
  // The line and its newline: what a command writes.
  static std::string Document(const Json& document);

  // get: {"set","section","key","value"}.
  static Json Value(const std::string& set, const std::string& section, const std::string& key,
                    const std::string& value);
  // list: the sets, {"sets": [...]}; with scope {SET} the set's sections,
  // {"set": S, "sections": [...]}.
  static Json List(const std::vector<std::string>& scope, const std::set<std::string>& names);
  // list SET SECTION (scope holds both): {"set", "section", "keys": [{"key",
  // "value"}, ...]}.
  static Json List(const std::vector<std::string>& scope, const std::list<qet_cfgserver::LxCfgKeyValuePair>& pairs);
  // export of one set: {"set", "sections": [{"section", "keys": [...]}]},
  // a section each time the entries move to another one (as the INI has
  // a [section] line).
  static Json Set(const std::string& set, const std::vector<qet_cfgserver::ConfigEntry>& entries);
  // A key that differs: {"change": "added"|"changed"|"deleted", "set",
  // "section", "key", "value" (not for deleted), "was" (not for added)}.
  // From the factory defaults (changes), and between revisions (show, diff).
  static Json Change(const qet_cfgserver::LxCfgChange& change);
  static Json Change(const qet_cfgserver::KeyChange& change);
  // The changes in their order, as the array of {"changes": [...]}.
  static Json Changes(const std::vector<qet_cfgserver::LxCfgChange>& changes);
  static Json Changes(const std::vector<qet_cfgserver::KeyChange>& changes);
  // A revision: {"revision", "time" (UTC, "2026-12-06T15:45:00Z"), "uid",
  // "user", "pid", "program" (null each when the server does not know it),
  // "client", "tag", "summary", "keys"}.
  static Json Revision(const qet_cfgserver::RevisionEntry& entry);
  // A watch event: {"revision" (resuming: watch --since), "change":
  // "set"|"deleted", "set", "section", "key", "value" (for set)}, or
  // {"change": "missed", "changes": N} (resuming: "revisions": N) when the
  // server dropped events.
  static Json Event(const qet_cfgserver::LxCfgWatch::Event& event, bool resuming);
};

}  // namespace cfgctl
