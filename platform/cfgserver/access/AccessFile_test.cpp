// The access file: what it refuses, and who may then read and write which
// set. Names are looked up in a directory of the test's own.
#include "access/AccessFile.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace qet_cfgserver {
namespace {

constexpr uid_t kServerUser = 500;

class TestAccounts : public AccountDirectory {
 public:
  bool FindUser(const std::string& name, uid_t* uid) const override {
    const auto found = users_.find(name);
    if (found == users_.end()) return false;
    *uid = found->second;
    return true;
  }
  bool FindGroup(const std::string& name, Group* group) const override {
    if (name != "netdev") return false;
    *group = Group{200, {1002}};  // bob is listed; carol's primary group is netdev
    return true;
  }

 private:
  std::map<std::string, uid_t> users_ = {{"alice", 1001}, {"bob", 1002}, {"carol", 1003}};
};

PeerCredentials Peer(uid_t uid, gid_t gid = 100) {
  PeerCredentials peer;
  peer.uid = uid;
  peer.gid = gid;
  return peer;
}

TEST(AccessFileTest, RefusesWhatItCannotUnderstandSayingWhere) {
  const struct {
    const char* text;
    const char* complaint;
  } cases[] = {
      {"[network]\nread = nobody-here\n", "[network] read: no user 'nobody-here'"},
      {"[network]\nread = @wheel\n", "[network] read: no group 'wheel'"},
      {"[network]\nreed = alice\n", "[network] reed: neither read nor write"},
      {"[network]\nwrite = alice,, bob\n", "[network] write: an empty name in the list"},
      {"[network]\nwrite =\n", "[network] write: an empty name in the list"},
      {"[network]\nread = @\n", "no group ''"},
      {"[network]\nread = 4294967295\n", "uid 4294967295 is out of range"},
      {"read = alice\n", "line 1: a key before any [section]"},
      {"[network]\n\nalice\n", "line 3:"},
      {"[network]\nread = alice\nread = bob\n", "line 3:"},
  };
  for (const auto& test : cases) {
    AccessRules rules(kServerUser);
    rules.GrantRead("kept", Principals());
    const LxStatus status = AccessFile::Parse(test.text, kServerUser, TestAccounts(), &rules);
    EXPECT_EQ(status.code(), LxStatus::Code::kInvalidArgument) << test.text;
    EXPECT_NE(status.message().find(test.complaint), std::string::npos) << test.text << status.ToString();
  }
}

TEST(AccessFileTest, GrantsAddUpWriteImpliesReadAndOnlyPrivilegedUsersNeedNoRule) {
  AccessRules rules(kServerUser);
  ASSERT_TRUE(AccessFile::Parse("[network]\n"
                                "read = alice, @netdev\n"
                                "write = 1001\n"
                                "[system]\n"
                                "write = bob\n"
                                "[*]\n"
                                "read = 1004\n",
                                kServerUser, TestAccounts(), &rules)
                  .ok());
  const struct {
    const char* who;
    PeerCredentials peer;
    const char* set;
    bool read, write;
  } cases[] = {
      {"root", Peer(0), "anything", true, true},
      {"the server's user", Peer(kServerUser), "anything", true, true},
      {"a writer", Peer(1001), "network", true, true},
      {"a writer elsewhere", Peer(1001), "system", false, false},
      {"a listed group member", Peer(1002), "network", true, false},
      {"a group's primary member", Peer(1003, 200), "network", true, false},
      {"a writer of another set", Peer(1002), "system", true, true},
      {"a reader of every set", Peer(1004), "logging", true, false},
      {"a stranger", Peer(1005), "network", false, false},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(rules.MayRead(test.peer, test.set), test.read) << test.who;
    EXPECT_EQ(rules.MayWrite(test.peer, test.set), test.write) << test.who;
  }
  EXPECT_TRUE(rules.MayReadSomeSet(Peer(1003, 200)));
  EXPECT_FALSE(rules.MayReadSomeSet(Peer(1005)));
  EXPECT_FALSE(rules.MayWriteEverySet(Peer(1001)));
  EXPECT_TRUE(rules.MayWriteEverySet(Peer(0)));
}

TEST(AccessFileTest, EveryoneAndEverySetAndNoRulesAtAll) {
  AccessRules open(kServerUser);
  ASSERT_TRUE(AccessFile::Parse("[*]\nwrite = *\n", kServerUser, TestAccounts(), &open).ok());
  EXPECT_TRUE(open.MayWrite(Peer(4321), "any"));
  EXPECT_TRUE(open.MayWriteEverySet(Peer(4321)));

  AccessRules none(kServerUser);
  ASSERT_TRUE(AccessFile::Parse("# nobody else\n", kServerUser, TestAccounts(), &none).ok());
  EXPECT_FALSE(none.MayReadSomeSet(Peer(1001)));
  EXPECT_FALSE(none.MayRead(Peer(1001), "network"));
}

}  // namespace
}  // namespace qet_cfgserver
