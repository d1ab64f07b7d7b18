// The client handle against peers in this process: status mapping,
// timeouts and release during a request. No server, reconnection after a
// restart and rejected requests are covered end to end (tests/e2e).

#include "cfgmsg/LxIpcClient.h"

#include <ace/LSOCK_Acceptor.h>
#include <ace/UNIX_Addr.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "cfgmsg/CfgRequests.h"
#include "cfgwire/RuntimeDirectory.h"
#include "tests/support/TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

using Clock = std::chrono::steady_clock;
const ACE_Time_Value kShortTimeout(1);

// Accepts one connection at path and answers whatever arrives with bytes
// that are not a frame.
class GarblingPeer {
 public:
  explicit GarblingPeer(const std::string& path) {
    EXPECT_NE(acceptor_.open(ACE_UNIX_Addr(path.c_str())), -1);
    thread_ = std::thread([this] {
      ACE_LSOCK_Stream stream;
      ACE_Time_Value wait(5);
      char request[64];
      if (acceptor_.accept(stream, nullptr, &wait) == -1) return;
      if (stream.recv(request, sizeof request, &wait) > 0) stream.send_n("garbage!", 8, MSG_NOSIGNAL);
      stream.close();
    });
  }
  ~GarblingPeer() {
    thread_.join();
    acceptor_.remove();
  }

 private:
  ACE_LSOCK_Acceptor acceptor_;
  std::thread thread_;
};

class LxIpcClientTest : public ::testing::Test {
 protected:
  std::string value_;
  quenlo_test::TemporaryDirectory directory_;
  const std::string path_ = directory_.File(wire::kServerEndpoint);
};

TEST_F(LxIpcClientTest, SilentServerTimesOutAndGarbageIsAServerError) {
  {
    ACE_LSOCK_Acceptor listener;  // takes connections into its backlog, never answers
    ASSERT_NE(listener.open(ACE_UNIX_Addr(path_.c_str())), -1);
    LxIpcClient client("quenlo", path_, kShortTimeout);
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(GetCfgValue(client, "a", "b", "c", value_, "RMy Test", CfgItemCommand::kGet), CfgItemStatus::kTimeout);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    listener.remove();
  }
  GarblingPeer peer(path_);
  LxIpcClient client("quenlo", path_, kShortTimeout);
  EXPECT_EQ(GetCfgValue(client, "a", "b", "c", value_, "RMy Test", CfgItemCommand::kGet), CfgItemStatus::kServerError);
}

TEST_F(LxIpcClientTest, ReleaseWakesARequestUnderWayAndEndsTheHandle) {
  ACE_LSOCK_Acceptor listener;
  ASSERT_NE(listener.open(ACE_UNIX_Addr(path_.c_str())), -1);
  LxIpcClient client("quenlo", path_, ACE_Time_Value(30));
  auto pending = std::async(std::launch::async, [&client] {
    std::string value;
    return GetCfgValue(client, "a", "b", "c", value, "RMy Test", CfgItemCommand::kGet);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const Clock::time_point start = Clock::now();
  client.Release();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  ASSERT_EQ(pending.wait_for(std::chrono::seconds(2)), std::future_status::ready);
  EXPECT_EQ(pending.get(), CfgItemStatus::kNoServer);
  std::set<std::string> sets;
  EXPECT_EQ(GetCfgSets(client, sets, "CfgUtil"), CfgItemStatus::kNoServer);
  client.Release();  // a second release is harmless
  listener.remove();
}

}  // namespace
}  // namespace qet_cfgserver
