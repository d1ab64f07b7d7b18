#include "requests/GroupCommit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include "cfgwire/Frame.h"
#include "cfgwire/Limits.h"
#include "requests/RequestDispatcher.h"
#include "tests/support/FaultInjectingVfs.h"
#include "tests/support/RawClient.h"
#include "tests/support/TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

using wire::Operation;

std::string RequestFrame(Operation operation, const std::string& key, const std::string& value = "") {
  return quenlo_test::RequestFrame(operation, "net", "eth0", key, value);
}

// A client connection as far as the group commit sees it: sends its frames
// one at a time, the next only once the last was answered, and records the
// answers' status and value in order into a log all clients share.
class ScriptedClient : public CommitWaiter {
 public:
  ScriptedClient(const std::string& name, RequestDispatcher* dispatcher, std::vector<std::string>* log)
      : name_(name), dispatcher_(dispatcher), log_(log) {}

  void Send(const std::vector<std::string>& frames) {
    script_ = frames;
    next_ = 0;
    SendNext();
  }
  void Answer(const std::string& replyFrame) override {
    Record(replyFrame);
    SendNext();
  }
  bool idle() const { return next_ == script_.size() && !waiting_; }

 private:
  void SendNext() {
    waiting_ = false;
    while (next_ < script_.size()) {
      wire::FrameHeader header;
      const std::string& frame = script_[next_++];
      EXPECT_TRUE(wire::DecodeFrameHeader(frame.data(), &header).ok());
      std::optional<std::string> reply = dispatcher_->AnswerFrame(header, frame.substr(wire::kFrameHeaderBytes), nullptr, this);
      if (!reply) {
        waiting_ = true;
        return;
      }
      Record(*reply);
    }
  }
  void Record(const std::string& replyFrame) {
    wire::FrameHeader header;
    wire::Reply reply;
    EXPECT_TRUE(wire::DecodeFrameHeader(replyFrame.data(), &header).ok());
    EXPECT_TRUE(wire::DecodeReplyBody(header, replyFrame.substr(wire::kFrameHeaderBytes), &reply).ok());
    log_->push_back(name_ + ":" + std::to_string(reply.status) + ":" + reply.value);
  }

  std::string name_;
  RequestDispatcher* dispatcher_;
  std::vector<std::string>* log_;
  std::vector<std::string> script_;
  std::size_t next_ = 0;
  bool waiting_ = false;
};

// Clients that each write and then read, their writes grouped; a commit on
// a full disk; a client that goes away before its answer.
TEST(GroupCommitTest, WritesShareACommitAndAreAnsweredInOrderOrAllFail) {
  quenlo_test::TemporaryDirectory directory;
  quenlo_test::FaultInjectingVfs vfs("quenlo-group-commit");
  StoreKeeper keeper({directory.File("config.db"), {}, vfs.name()});
  ASSERT_TRUE(keeper.Open().ok());
  GroupCommit group(&keeper);
  RequestDispatcher dispatcher(&keeper, nullptr, &group);
  std::vector<std::string> log;
  ScriptedClient a("a", &dispatcher, &log), b("b", &dispatcher, &log), c("c", &dispatcher, &log);
  const std::string ok = std::to_string(CfgItemStatus::kSuccess), failed = std::to_string(CfgItemStatus::kServerError);

  // a writes the same key twice: the second write waits for the first's
  // commit, and each read sees its own write. b's read is answered at once,
  // from what is committed: nothing yet.
  a.Send({RequestFrame(Operation::kSetValue, "mtu", "1500"), RequestFrame(Operation::kGetValue, "mtu"),
          RequestFrame(Operation::kSetValue, "mtu", "9000"), RequestFrame(Operation::kGetValue, "mtu")});
  b.Send({RequestFrame(Operation::kSetValue, "dhcp", "yes"), RequestFrame(Operation::kGetValue, "dhcp")});
  c.Send({RequestFrame(Operation::kGetValue, "mtu"), RequestFrame(Operation::kSetValue, "", "rejected")});
  EXPECT_EQ(log, (std::vector<std::string>{"c:" + std::to_string(CfgItemStatus::kKeyNotFound) + ":",
                                           "c:" + std::to_string(CfgItemStatus::kRejected) + ":"}));
  ASSERT_TRUE(group.pending());
  group.Flush();
  EXPECT_TRUE(group.pending());  // a's second write, sent on its answer
  group.Flush();
  EXPECT_FALSE(group.pending());
  EXPECT_TRUE(a.idle() && b.idle());
  EXPECT_EQ(log, (std::vector<std::string>{"c:" + std::to_string(CfgItemStatus::kKeyNotFound) + ":",
                                           "c:" + std::to_string(CfgItemStatus::kRejected) + ":", "a:" + ok + ":",
                                           "a:" + ok + ":1500", "b:" + ok + ":", "b:" + ok + ":yes", "a:" + ok + ":",
                                           "a:" + ok + ":9000"}));

  // A full disk: every write of the group fails, none is kept (a value
  // over a page among them), the acknowledged values stay, reads go on, an
  // import fails too; a waiter that withdrew is not answered.
  const std::string longValue(5000, 'v');
  CommittedRevision made;
  ASSERT_TRUE(keeper.store()->SetValue("net", "eth0", "name", longValue, ChangeNote(), &made).ok());
  log.clear();
  vfs.SetDiskFull(true);
  a.Send({RequestFrame(Operation::kSetValue, "mtu", "lost"), RequestFrame(Operation::kGetValue, "mtu")});
  b.Send({RequestFrame(Operation::kSetValue, "name", "lost")});
  c.Send({RequestFrame(Operation::kSetValue, "dhcp", "lost")});
  group.Withdraw(&c);
  group.Flush();
  EXPECT_EQ(keeper.store()->layers().ImportDefaults("net", {{"eth0", "imported", "yes"}}, ChangeNote(), &made).code(),
            LxStatus::Code::kIoError);
  vfs.SetDiskFull(false);
  EXPECT_EQ(log, (std::vector<std::string>{"a:" + failed + ":", "a:" + ok + ":9000", "b:" + failed + ":"}));

  // Room again: the next group commits; all of it is on disk.
  log.clear();
  b.Send({RequestFrame(Operation::kSetValue, "new", "1"), RequestFrame(Operation::kGetValue, "new")});
  group.Flush();
  EXPECT_EQ(log, (std::vector<std::string>{"b:" + ok + ":", "b:" + ok + ":1"}));
  keeper.Close();
  StoreKeeper reopened({directory.File("config.db"), {}, nullptr});
  ASSERT_TRUE(reopened.Open().ok());
  std::vector<wire::KeyValue> pairs;
  ASSERT_TRUE(reopened.store()->GetKeysAndValues("net", "eth0", &pairs).ok());
  std::string listing;
  for (const wire::KeyValue& pair : pairs) listing += pair.key + "=" + pair.value.substr(0, 4) + " ";
  EXPECT_EQ(listing, "dhcp=yes mtu=9000 name=vvvv new=1 ");
  EXPECT_EQ(pairs[2].value, longValue);
}

// Overwrites the middle half of the file at path with noise, behind the
// open store: a store larger than SQLite's page cache (2 MB) must then read
// damaged pages from the file.
void DamageMiddleHalf(const std::string& path) {
  const std::uintmax_t size = std::filesystem::file_size(path);
  std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
  std::mt19937 generator(6);
  std::string noise(size / 2, '\0');
  for (char& byte : noise) byte = static_cast<char>(generator() & 0xff);
  file.seekp(static_cast<std::streamoff>(size / 4));
  file.write(noise.data(), static_cast<std::streamsize>(noise.size()));
}

// Damage met while serving a read, and then while committing a group: the
// keeper recovers (the damaged file's readable rows, the rest from the
// snapshot the clean stop wrote, the defaults layer carried along) and the
// request is answered from the rebuilt store instead of failing; each
// recovery keeps its own damaged file, and one interrupted between moving
// the damaged file aside and renaming the rebuild into place is finished at
// the next start.
TEST(StoreKeeperTest, DamageMetWhileServingOrCommittingIsRecoveredAndTheRequestAnswered) {
  constexpr int kKeys = 400;  // 6.4 MB of values
  quenlo_test::TemporaryDirectory directory;
  const std::string database = directory.File("config.db");
  std::vector<ConfigRow> rows;
  for (int index = 0; index < kKeys; ++index)
    rows.push_back({"net", "eth0", "k" + std::to_string(1000 + index), std::string(wire::kMaxValueBytes, 'v')});
  {
    StoreKeeper writer(StoreSettings{database, {}, nullptr});
    std::uint64_t added = 0;
    ASSERT_TRUE(writer.Open().ok());
    ASSERT_TRUE(writer.store()->recovery().AddMissing(rows, &added).ok());
    // The defaults layer: one key the operator changed, one deleted.
    const std::vector<ConfigRow> defaults = {{"net", "eth0", "k1000", "factory"}, {"net", "eth0", "gone", "factory"}};
    ASSERT_TRUE(writer.store()->recovery().AddMissingDefaults(defaults, &added).ok());
    writer.Close();
  }
  const auto damagedFiles = [&directory]() {  // the databases, not their companions
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(directory.path())) {
      const std::string name = entry.path().filename().string();
      const std::string suffix = name.substr(name.size() - 4);
      count += name.rfind("config.db.damaged-", 0) == 0 && suffix != "-wal" && suffix != "-shm";
    }
    return count;
  };
  StoreKeeper keeper(StoreSettings{database, {}, nullptr});
  ASSERT_TRUE(keeper.Open().ok());
  DamageMiddleHalf(database);
  RequestDispatcher dispatcher(&keeper);
  const wire::Reply listing = dispatcher.Dispatch({Operation::kGetKeysAndValues, 0, "test", "", "net", "eth0", "", ""});
  EXPECT_EQ(listing.status, CfgItemStatus::kSuccess);
  EXPECT_EQ(listing.pairs.size(), std::size_t(kKeys));
  EXPECT_EQ(damagedFiles(), 1);
  std::vector<wire::Record> changes;  // recovery carried the defaults layer
  ASSERT_TRUE(keeper.store()->layers().GetChanges({ConfigScope::Level::kKey, "net", "eth0", "gone"}, &changes).ok());
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].kind, wire::RecordKind::kDeleted);

  DamageMiddleHalf(database);
  GroupCommit group(&keeper);
  RequestDispatcher committer(&keeper, nullptr, &group);
  std::vector<std::string> log;
  ScriptedClient a("a", &committer, &log), b("b", &committer, &log);
  a.Send({RequestFrame(Operation::kSetValue, "k1200", "new")});
  b.Send({RequestFrame(Operation::kSetValue, "fresh", "1")});
  group.Flush();
  const std::string ok = std::to_string(CfgItemStatus::kSuccess);
  EXPECT_EQ(log, (std::vector<std::string>{"a:" + ok + ":", "b:" + ok + ":"}));
  EXPECT_EQ(damagedFiles(), 2);
  ASSERT_TRUE(
      keeper.store()->layers().GetChanges({ConfigScope::Level::kKey, "net", "eth0", "k1000"}, &(changes = {})).ok());
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].defaultValue, "factory");

  keeper.Close();
  std::filesystem::rename(database, database + ".rebuild");
  std::filesystem::remove(database + ".snapshot");  // the rebuild is all there is
  StoreKeeper restarted(StoreSettings{database, {}, nullptr});
  ASSERT_TRUE(restarted.Open().ok());
  for (auto [key, expected] : {std::pair<const char*, const char*>{"k1200", "new"}, {"fresh", "1"}}) {
    std::string value;
    EXPECT_TRUE(restarted.store()->GetValue("net", "eth0", key, &value).ok() && value == expected) << key;
  }
  EXPECT_EQ(damagedFiles(), 2);
}

}  // namespace
}  // namespace qet_cfgserver
