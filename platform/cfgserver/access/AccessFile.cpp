#include "access/AccessFile.h"

#include <errno.h>
#include <string.h>

#include <fstream>
#include <vector>

#include "common/SafePath.h"
#include "ini/IniReader.h"

namespace qet_cfgserver {

namespace {

constexpr const char* kReadKey = "read";
constexpr const char* kWriteKey = "write";
// The reader files entries under a set; in an access file sections name the
// sets, so this one only holds them.
constexpr const char* kEntriesSet = "access";

LxStatus ReadText(const std::string& path, std::string* text) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return LxStatus::IoError(std::string("cannot read: ") + strerror(errno));
  std::vector<char> buffer(AccessFile::kMaxFileBytes + 1);
  file.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  if (file.bad()) return LxStatus::IoError(std::string("cannot read: ") + strerror(errno));
  const std::size_t length = static_cast<std::size_t>(file.gcount());
  if (length > AccessFile::kMaxFileBytes) return LxStatus::InvalidArgument("larger than 1 MiB");
  text->assign(buffer.data(), length);
  return LxStatus::Ok();
}

}  // namespace

constexpr std::size_t AccessFile::kMaxFileBytes;

LxStatus AccessFile::Read(const std::string& path, uid_t serverUser, const AccountDirectory& accounts,
                          AccessRules* rules) {
  LxStatus status = CheckSafeFile(path, serverUser);
  if (!status.ok()) return LxStatus::InvalidArgument("access file: " + status.message());
  std::string text;
  status = ReadText(path, &text);
  if (status.ok()) status = Parse(text, serverUser, accounts, rules);
  if (!status.ok()) return LxStatus::InvalidArgument("access file " + path + ": " + status.message());
  return LxStatus::Ok();
}

LxStatus AccessFile::Parse(const std::string& text, uid_t serverUser, const AccountDirectory& accounts,
                           AccessRules* rules) {
  IniContent content;
  LxStatus status = IniReader::Parse(text, kEntriesSet, &content);
  if (!status.ok()) return status;
  // A repeated key would drop a list of users unseen.
  if (!content.warnings.empty()) return LxStatus::InvalidArgument(content.warnings.front());
  AccessRules parsed(serverUser);
  for (const IniSet& set : content.sets)
    for (const ConfigEntry& entry : set.entries) {
      const std::string where = "[" + entry.section + "] " + entry.key + ": ";
      const bool read = entry.key == kReadKey;
      if (!read && entry.key != kWriteKey) return LxStatus::InvalidArgument(where + "neither read nor write");
      Principals principals;
      status = Principals::Parse(entry.value, accounts, &principals);
      if (!status.ok()) return LxStatus::InvalidArgument(where + status.message());
      if (read) parsed.GrantRead(entry.section, principals);
      else parsed.GrantWrite(entry.section, principals);
    }
  *rules = parsed;
  return LxStatus::Ok();
}

}  // namespace qet_cfgserver
