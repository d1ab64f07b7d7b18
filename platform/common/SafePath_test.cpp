// The rules a client applies to the server's runtime directory and the
// server to its own directories and files, each case in a directory of its
// own. Files are given to other users, so the cases need root.
#include "common/SafePath.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

// The user the checks are made for, and someone else; root is root.
constexpr uid_t kClient = 4242;
constexpr uid_t kOther = 4343;
constexpr uid_t kRoot = 0;

enum class Kind { kDirectory, kFile, kLink };

struct Entry {
  const char* path;
  Kind kind;
  mode_t mode;  // ignored for links
  uid_t owner;
  const char* linkTo = "";  // relative to the case's directory
};

struct Case {
  const char* what;
  std::vector<Entry> entries;
  const char* checked;
  bool directory;
  Owner owner;
  LxStatus::Code code;
  const char* complaint;  // in the message; empty when the check passes
};

LxStatus::Code kOk = LxStatus::Code::kOk, kRefused = LxStatus::Code::kUnavailable;

const Case kCases[] = {
    {"a service's directory in a root-owned parent", {{"run", Kind::kDirectory, 0755, kOther}}, "run", true,
     Owner::kAnyone, kOk, ""},
    {"the client's own private directory", {{"run", Kind::kDirectory, 0700, kClient}}, "run", true, Owner::kAnyone,
     kOk, ""},
    {"a group-writable directory", {{"run", Kind::kDirectory, 0775, kRoot}}, "run", true, Owner::kAnyone, kRefused,
     "writable by others"},
    {"a world-writable sticky directory", {{"run", Kind::kDirectory, 01777, kRoot}}, "run", true, Owner::kAnyone,
     kRefused, "writable by others"},
    {"another user's directory in a shared sticky one",
     {{"tmp", Kind::kDirectory, 01777, kRoot}, {"tmp/run", Kind::kDirectory, 0755, kOther}}, "tmp/run", true,
     Owner::kAnyone, kRefused, "uid 4343) and lies in"},
    {"root's directory in a shared sticky one",
     {{"tmp", Kind::kDirectory, 01777, kRoot}, {"tmp/run", Kind::kDirectory, 0755, kRoot}}, "tmp/run/", true,
     Owner::kAnyone, kOk, ""},
    {"the client's directory in a shared one that is not sticky",
     {{"tmp", Kind::kDirectory, 0777, kRoot}, {"tmp/run", Kind::kDirectory, 0700, kClient}}, "tmp/run", true,
     Owner::kAnyone, kRefused, "where others may create and remove entries"},
    {"a link another user owns",
     {{"real", Kind::kDirectory, 0755, kClient}, {"run", Kind::kLink, 0, kOther, "real"}}, "run", true,
     Owner::kAnyone, kRefused, "is a symbolic link owned by"},
    {"the client's own link to its directory",
     {{"real", Kind::kDirectory, 0700, kClient}, {"run", Kind::kLink, 0, kClient, "real"}}, "run", true,
     Owner::kAnyone, kOk, ""},
    {"root's link to a directory another user planted in a shared one",
     {{"tmp", Kind::kDirectory, 01777, kRoot},
      {"tmp/real", Kind::kDirectory, 0755, kOther},
      {"run", Kind::kLink, 0, kRoot, "tmp/real"}},
     "run", true, Owner::kAnyone, kRefused, "where others may create entries"},
    {"a loop of links", {{"a", Kind::kLink, 0, kClient, "b"}, {"b", Kind::kLink, 0, kClient, "a"}}, "a", true,
     Owner::kAnyone, kRefused, "too many symbolic links"},
    {"nothing there", {}, "run", true, Owner::kAnyone, LxStatus::Code::kNotFound, "does not exist"},
    {"a file where a directory belongs", {{"run", Kind::kFile, 0600, kClient}}, "run", true, Owner::kAnyone,
     kRefused, "is not a directory"},
    {"another user's directory where root's or the user's must be", {{"data", Kind::kDirectory, 0700, kOther}},
     "data", true, Owner::kRootOrUser, kRefused, "belongs to"},
    {"the user's own file", {{"config.db", Kind::kFile, 0600, kClient}}, "config.db", false, Owner::kRootOrUser, kOk,
     ""},
    {"another user's file", {{"config.db", Kind::kFile, 0600, kOther}}, "config.db", false, Owner::kRootOrUser,
     kRefused, "belongs to"},
    {"a file others may write", {{"config.db", Kind::kFile, 0666, kClient}}, "config.db", false, Owner::kRootOrUser,
     kRefused, "writable by others"},
    {"a file behind a link another user owns",
     {{"real.db", Kind::kFile, 0600, kClient}, {"config.db", Kind::kLink, 0, kOther, "real.db"}}, "config.db", false,
     Owner::kRootOrUser, kRefused, "is a symbolic link owned by"},
};

bool Make(const std::string& top, const Entry& entry) {
  const std::string path = top + "/" + entry.path;
  switch (entry.kind) {
    case Kind::kDirectory:
      if (mkdir(path.c_str(), 0700) != 0) return false;
      break;
    case Kind::kFile:
      if (!quenlo_test::WriteFile(path, "")) return false;
      break;
    case Kind::kLink:
      return symlink(entry.linkTo, path.c_str()) == 0 && lchown(path.c_str(), entry.owner, entry.owner) == 0;
  }
  return chown(path.c_str(), entry.owner, entry.owner) == 0 && chmod(path.c_str(), entry.mode) == 0;
}

TEST(SafePathTest, EachRuleRefusesWhatOthersCouldHavePlantedAndAcceptsTheRest) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give files to other users";
  for (const Case& test : kCases) {
    quenlo_test::TemporaryDirectory top;
    ASSERT_FALSE(top.path().empty());
    ASSERT_EQ(chmod(top.path().c_str(), 0755), 0);
    for (const Entry& entry : test.entries) ASSERT_TRUE(Make(top.path(), entry)) << test.what << ": " << entry.path;
    const std::string checked = top.File(test.checked);
    const LxStatus status = test.directory ? CheckSafeDirectory(checked, kClient, test.owner)
                                           : CheckSafeFile(checked, kClient);
    EXPECT_EQ(status.code(), test.code) << test.what << ": " << status.ToString();
    EXPECT_NE(status.message().find(test.complaint), std::string::npos) << test.what << ": " << status.ToString();
  }
}

}  // namespace
}  // namespace qet_cfgserver
