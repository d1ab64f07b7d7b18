#include "access/Principals.h"

#include <algorithm>
#include <cstdint>

namespace qet_cfgserver {

namespace {

constexpr char kSeparator = ',';
constexpr char kGroupMark = '@';
constexpr const char* kEveryone = "*";
constexpr const char* kBlanks = " \t";
// The highest uid a process can have: (uid_t)-1 means "no user".
constexpr std::uint64_t kMaxUid = 0xfffffffeu;

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool ParseUid(const std::string& digits, uid_t* uid) {
  std::uint64_t value = 0;
  for (char digit : digits) {
    value = value * 10 + static_cast<std::uint64_t>(digit - '0');
    if (value > kMaxUid) return false;
  }
  *uid = static_cast<uid_t>(value);
  return true;
}

}  // namespace

LxStatus Principals::Parse(const std::string& list, const AccountDirectory& accounts, Principals* principals) {
  *principals = Principals();
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = list.find(kSeparator, start);
    LxStatus status = principals->AddItem(Trim(list.substr(start, end - start)), accounts);
    if (!status.ok()) return status;
    if (end == std::string::npos) return LxStatus::Ok();
    start = end + 1;
  }
}

LxStatus Principals::AddItem(const std::string& item, const AccountDirectory& accounts) {
  if (item.empty()) return LxStatus::InvalidArgument("an empty name in the list");
  if (item == kEveryone) {
    everyone_ = true;
    return LxStatus::Ok();
  }
  if (item[0] == kGroupMark) {
    AccountDirectory::Group group;
    if (!accounts.FindGroup(item.substr(1), &group)) return LxStatus::InvalidArgument("no group '" + item.substr(1) + "'");
    groups_.push_back(std::move(group));
    return LxStatus::Ok();
  }
  uid_t uid;
  if (AllDigits(item)) {
    if (!ParseUid(item, &uid)) return LxStatus::InvalidArgument("uid " + item + " is out of range");
  } else if (!accounts.FindUser(item, &uid)) {
    return LxStatus::InvalidArgument("no user '" + item + "'");
  }
  users_.push_back(uid);
  return LxStatus::Ok();
}

bool Principals::Includes(const PeerCredentials& peer) const {
  if (everyone_) return true;
  if (std::find(users_.begin(), users_.end(), peer.uid) != users_.end()) return true;
  for (const AccountDirectory::Group& group : groups_) {
    if (group.gid == peer.gid) return true;
    if (std::find(group.members.begin(), group.members.end(), peer.uid) != group.members.end()) return true;
  }
  return false;
}

}  // namespace qet_cfgserver
