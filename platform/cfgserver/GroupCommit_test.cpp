#include "GroupCommit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "FaultInjectingVfs.h"
#include "Frame.h"
#include "Limits.h"
#include "RawClient.h"
#include "RequestDispatcher.h"
#include "TemporaryDirectory.h"

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

  // A full disk: every write of the group fails, none is kept, the
  // acknowledged values stay; a waiter that withdrew is not answered.
  log.clear();
  vfs.SetDiskFull(true);
  a.Send({RequestFrame(Operation::kSetValue, "mtu", "lost"), RequestFrame(Operation::kGetValue, "mtu")});
  b.Send({RequestFrame(Operation::kSetValue, "new", "lost")});
  c.Send({RequestFrame(Operation::kSetValue, "dhcp", "lost")});
  group.Withdraw(&c);
  group.Flush();
  vfs.SetDiskFull(false);
  EXPECT_EQ(log, (std::vector<std::string>{"a:" + failed + ":", "a:" + ok + ":9000", "b:" + failed + ":"}));
  std::string value;
  EXPECT_EQ(keeper.store()->GetValue("net", "eth0", "new", &value).code(), LxStatus::Code::kNotFound);
  EXPECT_TRUE(keeper.store()->GetValue("net", "eth0", "dhcp", &value).ok() && value == "yes");

  // Room again: the next group commits.
  log.clear();
  b.Send({RequestFrame(Operation::kSetValue, "new", "1"), RequestFrame(Operation::kGetValue, "new")});
  group.Flush();
  EXPECT_EQ(log, (std::vector<std::string>{"b:" + ok + ":", "b:" + ok + ":1"}));
}

// A group whose commit meets a damaged database (half the file overwritten
// behind the open store, the store larger than SQLite's page cache) has the
// keeper rebuild it, and is then committed there and acknowledged.
TEST(GroupCommitTest, AGroupThatMeetsDamageIsCommittedOnTheRebuiltDatabase) {
  constexpr int kKeys = 400;  // 6.4 MB of values
  quenlo_test::TemporaryDirectory directory;
  const std::string database = directory.File("config.db");
  StoreKeeper keeper({database, {}, nullptr});
  ASSERT_TRUE(keeper.Open().ok());
  std::vector<ConfigRow> rows;
  for (int index = 0; index < kKeys; ++index)
    rows.push_back({"net", "eth0", "k" + std::to_string(1000 + index), std::string(wire::kMaxValueBytes, 'v')});
  std::uint64_t added = 0;
  ASSERT_TRUE(keeper.store()->AddMissing(rows, &added).ok());
  ASSERT_TRUE(keeper.SnapshotIfChanged().ok());
  const std::uintmax_t size = std::filesystem::file_size(database);
  {
    std::fstream file(database, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(static_cast<std::streamoff>(size / 4));
    const std::string noise(size / 2, '\x5a');
    file.write(noise.data(), static_cast<std::streamsize>(noise.size()));
  }
  GroupCommit group(&keeper);
  RequestDispatcher dispatcher(&keeper, nullptr, &group);
  std::vector<std::string> log;
  ScriptedClient a("a", &dispatcher, &log), b("b", &dispatcher, &log);
  a.Send({RequestFrame(Operation::kSetValue, "k1200", "new")});
  b.Send({RequestFrame(Operation::kSetValue, "fresh", "1")});
  group.Flush();
  const std::string ok = std::to_string(CfgItemStatus::kSuccess);
  EXPECT_EQ(log, (std::vector<std::string>{"a:" + ok + ":", "b:" + ok + ":"}));
  std::string value;
  EXPECT_TRUE(keeper.store()->GetValue("net", "eth0", "k1200", &value).ok() && value == "new");
  EXPECT_TRUE(keeper.store()->GetValue("net", "eth0", "fresh", &value).ok() && value == "1");
  bool movedAside = false;
  for (const auto& entry : std::filesystem::directory_iterator(directory.path()))
    movedAside |= entry.path().filename().string().rfind("config.db.damaged-", 0) == 0;
  EXPECT_TRUE(movedAside);
}

}  // namespace
}  // namespace qet_cfgserver
