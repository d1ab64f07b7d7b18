// The client handle against peers in this process: status mapping,
// timeouts, reconnection and release during a request.

#include "LxIpcClient.h"

#include <ace/LSOCK_Acceptor.h>
#include <ace/UNIX_Addr.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "CfgRequests.h"
#include "Limits.h"
#include "TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

using Clock = std::chrono::steady_clock;
const ACE_Time_Value kShortTimeout(1);

// Listens at path; answers each request frame with what the script returns,
// or closes the connection when it returns "". One connection at a time.
class ScriptedServer {
 public:
  ScriptedServer(const std::string& path, std::function<std::string(const wire::Request&)> script)
      : script_(std::move(script)) {
    EXPECT_NE(acceptor_.open(ACE_UNIX_Addr(path.c_str())), -1);
    thread_ = std::thread([this] {
      while (!stopping_) {
        ACE_LSOCK_Stream stream;
        ACE_Time_Value poll(0, 50000);
        if (acceptor_.accept(stream, nullptr, &poll) == -1) continue;
        ++connections_;
        Serve(stream);
        stream.close();
      }
    });
  }
  ~ScriptedServer() {
    stopping_ = true;
    thread_.join();
    acceptor_.close();
  }
  int connections() const { return connections_; }

 private:
  void Serve(ACE_LSOCK_Stream& stream) {
    char headerBytes[wire::kFrameHeaderBytes];
    wire::FrameHeader header;
    std::string body;
    wire::Request request;
    ACE_Time_Value wait(2);
    while (stream.recv_n(headerBytes, sizeof headerBytes, &wait) == sizeof headerBytes &&
           wire::DecodeFrameHeader(headerBytes, &header).ok()) {
      body.assign(header.bodyBytes, '\0');
      if (stream.recv_n(&body[0], body.size(), &wait) != static_cast<ssize_t>(body.size())) return;
      const std::string answer = wire::DecodeRequestBody(header, body, &request).ok() ? script_(request) : "";
      if (answer.empty()) return;
      stream.send_n(answer.data(), answer.size(), MSG_NOSIGNAL);
    }
  }

  std::function<std::string(const wire::Request&)> script_;
  ACE_LSOCK_Acceptor acceptor_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::thread thread_;
};

std::string ReplyFrame(const wire::Reply& reply) {
  std::string frame;
  EXPECT_TRUE(wire::EncodeReplyFrame(reply, &frame).ok());
  return frame;
}

class LxIpcClientTest : public ::testing::Test {
 protected:
  std::string value_;
  quenlo_test::TemporaryDirectory directory_;
  const std::string path_ = directory_.File("CfgServer-ReadFifo");
};

TEST_F(LxIpcClientTest, CarriesRequestAndReplyOverOneKeptConnection) {
  wire::Request seen;
  ScriptedServer server(path_, [&seen](const wire::Request& request) {
    seen = request;
    wire::Reply reply;
    reply.names = {"eth0", "eth1"};
    reply.pairs = {{"mtu", "1500"}, {"addr", "10.0.0.2"}};
    return ReplyFrame(reply);
  });
  LxIpcClient client("quenlo", path_, kShortTimeout);
  std::set<std::string> sections;
  EXPECT_EQ(GetCfgSections(client, "network", sections, "CfgUtil"), CfgItemStatus::kSuccess);
  EXPECT_EQ(sections, (std::set<std::string>{"eth0", "eth1"}));
  EXPECT_EQ(seen.client + "/" + seen.tag + "/" + seen.set, "quenlo/CfgUtil/network");
  std::list<LxCfgKeyValuePair> pairs;
  EXPECT_EQ(GetCfgKeysAndValues(client, "network", "eth0", pairs, "CfgUtil"), CfgItemStatus::kSuccess);
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs.front().GetKey(), "mtu");  // the server's order is kept
  EXPECT_EQ(SetCfgValue(client, "network", "eth0", "mtu", "9000", "My-Test", CfgItemCommand::kSet),
            CfgItemStatus::kSuccess);
  EXPECT_EQ(seen.value, "9000");
  EXPECT_EQ(server.connections(), 1);
}

TEST_F(LxIpcClientTest, WithoutServerAnswersAreEmptyAndBadRequestsAreRejectedUnasked) {
  LxIpcClient client("quenlo", path_, kShortTimeout);
  std::set<std::string> sets = {"left over"};
  EXPECT_EQ(GetCfgSets(client, sets, "CfgUtil"), CfgItemStatus::kNoServer);
  EXPECT_TRUE(sets.empty());
  value_ = "left over";
  EXPECT_EQ(GetCfgValue(client, "a", "b", "c", value_, "RMy Test", CfgItemCommand::kGet), CfgItemStatus::kNoServer);
  EXPECT_EQ(value_, "");
  // Rejected, not "no server": these never reach the socket.
  const std::string longValue(wire::kMaxValueBytes + 1, 'v');
  EXPECT_EQ(SetCfgValue(client, "s", "t", "k", longValue, "My-Test", CfgItemCommand::kSet), CfgItemStatus::kRejected);
  EXPECT_EQ(GetCfgValue(client, "s", "t", "k", value_, "RMy Test", CfgItemCommand::kSet), CfgItemStatus::kRejected);
}

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
  ScriptedServer server(path_, [](const wire::Request&) { return std::string("garbage!"); });
  LxIpcClient client("quenlo", path_, kShortTimeout);
  EXPECT_EQ(GetCfgValue(client, "a", "b", "c", value_, "RMy Test", CfgItemCommand::kGet), CfgItemStatus::kServerError);
}

TEST_F(LxIpcClientTest, ReconnectsWhenTheServerDroppedAKeptConnection) {
  int answered = 0;
  // Every other request finds its connection closed, as after a restart.
  ScriptedServer server(path_, [&answered](const wire::Request&) {
    wire::Reply reply;
    reply.value = "v" + std::to_string(answered);
    return answered++ % 2 == 0 ? ReplyFrame(reply) : std::string();
  });
  LxIpcClient client("quenlo", path_, kShortTimeout);
  for (const char* expected : {"v0", "v2"}) {
    EXPECT_EQ(GetCfgValue(client, "a", "b", "c", value_, "RMy Test", CfgItemCommand::kGet), CfgItemStatus::kSuccess);
    EXPECT_EQ(value_, expected);
  }
  EXPECT_EQ(server.connections(), 2);
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
