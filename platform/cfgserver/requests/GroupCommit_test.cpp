#include "requests/GroupCommit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cfgwire/Frame.h"
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
      std::string reply;
      if (!dispatcher_->AnswerFrame(header, frame.substr(wire::kFrameHeaderBytes), &reply, nullptr, this)) {
        waiting_ = true;
        return;
      }
      Record(reply);
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

class GroupCommitTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(keeper_.Open().ok()); }

  std::string Answer(const std::string& client, CfgItemStatus::Status status, const std::string& value = "") {
    return client + ":" + std::to_string(status) + ":" + value;
  }

  quenlo_test::TemporaryDirectory directory_;
  quenlo_test::FaultInjectingVfs vfs_{"quenlo-group-commit"};
  StoreKeeper keeper_{StoreSettings{directory_.File("config.db"), {}, vfs_.name()}};
  GroupCommit group_{&keeper_};
  RequestDispatcher dispatcher_{&keeper_, nullptr, &group_};
  std::vector<std::string> log_;
  ScriptedClient a_{"a", &dispatcher_, &log_}, b_{"b", &dispatcher_, &log_}, c_{"c", &dispatcher_, &log_};
};

// Clients that each write and then read: their writes are grouped, and
// every answer comes after its commit, in order.
TEST_F(GroupCommitTest, WritesShareACommitAndAreAnsweredInOrder) {
  // a writes the same key twice: the second write waits for the first's
  // commit, and each read sees its own write. b's read is answered at once,
  // from what is committed: nothing yet.
  a_.Send({RequestFrame(Operation::kSetValue, "mtu", "1500"), RequestFrame(Operation::kGetValue, "mtu"),
           RequestFrame(Operation::kSetValue, "mtu", "9000"), RequestFrame(Operation::kGetValue, "mtu")});
  b_.Send({RequestFrame(Operation::kSetValue, "dhcp", "yes"), RequestFrame(Operation::kGetValue, "dhcp")});
  c_.Send({RequestFrame(Operation::kGetValue, "mtu"), RequestFrame(Operation::kSetValue, "", "rejected")});
  EXPECT_EQ(log_, (std::vector<std::string>{Answer("c", CfgItemStatus::kKeyNotFound),
                                            Answer("c", CfgItemStatus::kRejected)}));
  ASSERT_TRUE(group_.pending());
  group_.Flush();
  EXPECT_TRUE(group_.pending());  // a's second write, sent on its answer
  group_.Flush();
  EXPECT_FALSE(group_.pending());
  EXPECT_TRUE(a_.idle() && b_.idle());
  const CfgItemStatus::Status ok = CfgItemStatus::kSuccess;
  EXPECT_EQ(log_, (std::vector<std::string>{Answer("c", CfgItemStatus::kKeyNotFound),
                                            Answer("c", CfgItemStatus::kRejected), Answer("a", ok),
                                            Answer("a", ok, "1500"), Answer("b", ok), Answer("b", ok, "yes"),
                                            Answer("a", ok), Answer("a", ok, "9000")}));
}

// A full disk: every write of the group fails, none is kept (a value over a
// page among them), the acknowledged values stay, reads go on, an import
// fails too. Room again: the next group commits, as the revision after the
// last committed one, and all of it is on disk.
TEST_F(GroupCommitTest, AFailedCommitFailsEveryWriteOfItsGroupAndKeepsNone) {
  const std::string longValue(5000, 'v');
  CommittedRevision made;
  ASSERT_TRUE(keeper_.store()->SetValue("net", "eth0", "mtu", "9000", ChangeNote(), &made).ok());
  ASSERT_TRUE(keeper_.store()->SetValue("net", "eth0", "name", longValue, ChangeNote(), &made).ok());
  vfs_.SetDiskFull(true);
  a_.Send({RequestFrame(Operation::kSetValue, "mtu", "lost"), RequestFrame(Operation::kGetValue, "mtu")});
  b_.Send({RequestFrame(Operation::kSetValue, "name", "lost")});
  group_.Flush();
  EXPECT_EQ(keeper_.store()->layers().ImportDefaults("net", {{"eth0", "imported", "yes"}}, ChangeNote(), &made).code(),
            LxStatus::Code::kIoError);
  vfs_.SetDiskFull(false);
  const CfgItemStatus::Status ok = CfgItemStatus::kSuccess, failed = CfgItemStatus::kServerError;
  EXPECT_EQ(log_, (std::vector<std::string>{Answer("a", failed), Answer("a", ok, "9000"), Answer("b", failed)}));

  log_.clear();
  b_.Send({RequestFrame(Operation::kSetValue, "new", "1"), RequestFrame(Operation::kGetValue, "new")});
  group_.Flush();
  EXPECT_EQ(log_, (std::vector<std::string>{Answer("b", ok), Answer("b", ok, "1")}));
  std::uint64_t revision = 0;
  ASSERT_TRUE(keeper_.store()->revisions().Current(&revision).ok());
  EXPECT_EQ(revision, 3u);
  keeper_.Close();
  StoreKeeper reopened({directory_.File("config.db"), {}, nullptr});
  ASSERT_TRUE(reopened.Open().ok());
  std::vector<wire::KeyValue> pairs;
  ASSERT_TRUE(reopened.store()->GetKeysAndValues("net", "eth0", &pairs).ok());
  std::string listing;
  for (const wire::KeyValue& pair : pairs) listing += pair.key + "=" + pair.value.substr(0, 4) + " ";
  EXPECT_EQ(listing, "mtu=9000 name=vvvv new=1 ");
  EXPECT_EQ(pairs[1].value, longValue);
}

// A waiter that withdrew (its connection closed) is not answered; the
// others of its group are.
TEST_F(GroupCommitTest, AWithdrawnWaiterIsNotAnswered) {
  a_.Send({RequestFrame(Operation::kSetValue, "mtu", "1500")});
  c_.Send({RequestFrame(Operation::kSetValue, "dhcp", "yes")});
  group_.Withdraw(&c_);
  group_.Flush();
  EXPECT_EQ(log_, (std::vector<std::string>{Answer("a", CfgItemStatus::kSuccess)}));
}

}  // namespace
}  // namespace qet_cfgserver
