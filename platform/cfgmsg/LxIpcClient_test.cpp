// The client handle against scripted servers in this process: status
// mapping, timeouts, reconnection and release during a request.

#include "LxIpcClient.h"

#include <ace/LSOCK_Acceptor.h>
#include <ace/LSOCK_Stream.h>
#include <ace/UNIX_Addr.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "CfgRequests.h"
#include "Limits.h"

namespace qet_cfgserver {
namespace {

using Clock = std::chrono::steady_clock;

class SocketDirectory {
 public:
  SocketDirectory() {
    const char* base = getenv("TMPDIR");
    path_ = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/ipcclient-XXXXXX";
    if (mkdtemp(&path_[0]) == nullptr) path_.clear();
  }
  ~SocketDirectory() {
    unlink(SocketPath().c_str());
    rmdir(path_.c_str());
  }
  std::string SocketPath() const { return path_ + "/CfgServer-ReadFifo"; }

 private:
  std::string path_;
};

// Accepts connections one after another and answers each request frame
// with what the script returns: a frame to send, or "" to close the
// connection. Runs on its own thread until destroyed.
class ScriptedServer {
 public:
  using Script = std::function<std::string(const wire::Request&)>;

  ScriptedServer(const std::string& socketPath, Script script) : script_(std::move(script)) {
    ACE_UNIX_Addr address(socketPath.c_str());
    if (acceptor_.open(address) == -1) ADD_FAILURE() << "cannot listen on " << socketPath;
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedServer() {
    stopping_ = true;
    thread_.join();
    acceptor_.close();
  }

  int connections() const { return connections_; }

 private:
  void Serve() {
    while (!stopping_) {
      ACE_LSOCK_Stream stream;
      ACE_Time_Value poll(0, 50 * 1000);
      if (acceptor_.accept(stream, nullptr, &poll) == -1) continue;
      ++connections_;
      ServeConnection(stream);
      stream.close();
    }
  }

  void ServeConnection(ACE_LSOCK_Stream& stream) {
    for (;;) {
      char headerBytes[wire::kFrameHeaderBytes];
      ACE_Time_Value wait(2);
      if (stream.recv_n(headerBytes, sizeof headerBytes, &wait) != static_cast<ssize_t>(sizeof headerBytes)) return;
      wire::FrameHeader header;
      if (!wire::DecodeFrameHeader(headerBytes, &header).ok()) return;
      std::string body(header.bodyBytes, '\0');
      if (header.bodyBytes > 0 && stream.recv_n(&body[0], body.size(), &wait) != static_cast<ssize_t>(body.size()))
        return;
      wire::Request request;
      if (!wire::DecodeRequestBody(header, body, &request).ok()) return;
      const std::string answer = script_(request);
      if (answer.empty()) return;
      stream.send_n(answer.data(), answer.size(), MSG_NOSIGNAL);
    }
  }

  Script script_;
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

std::string ValueReply(const std::string& value) {
  wire::Reply reply;
  reply.value = value;
  return ReplyFrame(reply);
}

const ACE_Time_Value kShortTimeout(1);

TEST(LxIpcClient, CarriesRequestFieldsAndRepliesBothWays) {
  SocketDirectory directory;
  wire::Request seen;
  ScriptedServer server(directory.SocketPath(), [&seen](const wire::Request& request) {
    seen = request;
    wire::Reply reply;
    reply.names = {"eth0", "eth1"};
    reply.pairs = {{"mtu", "1500"}, {"addr", "10.0.0.2"}};
    return ReplyFrame(reply);
  });
  LxIpcClient client("quenlo", directory.SocketPath(), kShortTimeout);

  std::set<std::string> sections;
  EXPECT_EQ(GetCfgSections(client, "network", sections, "CfgUtil"), CfgItemStatus::kSuccess);
  EXPECT_EQ(sections, (std::set<std::string>{"eth0", "eth1"}));
  EXPECT_EQ(seen.operation, wire::Operation::kGetSections);
  EXPECT_EQ(seen.client, "quenlo");
  EXPECT_EQ(seen.tag, "CfgUtil");
  EXPECT_EQ(seen.set, "network");

  std::list<LxCfgKeyValuePair> pairs;
  EXPECT_EQ(GetCfgKeysAndValues(client, "network", "eth0", pairs, "CfgUtil"), CfgItemStatus::kSuccess);
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs.front().GetKey(), "mtu");  // the server's order is kept
  EXPECT_EQ(pairs.back().GetValue(), "10.0.0.2");

  EXPECT_EQ(SetCfgValue(client, "network", "eth0", "mtu", "9000", "My-Test", CfgItemCommand::kSet),
            CfgItemStatus::kSuccess);
  EXPECT_EQ(seen.operation, wire::Operation::kSetValue);
  EXPECT_EQ(seen.command, CfgItemCommand::kSet);
  EXPECT_EQ(seen.value, "9000");
  EXPECT_EQ(server.connections(), 1) << "one connection serves every request";
}

TEST(LxIpcClient, NoServerGivesEmptyAnswersAndNoServerStatus) {
  SocketDirectory directory;
  LxIpcClient client("quenlo", directory.SocketPath(), kShortTimeout);
  std::set<std::string> sets = {"left over"};
  EXPECT_EQ(GetCfgSets(client, sets, "CfgUtil"), CfgItemStatus::kNoServer);
  EXPECT_TRUE(sets.empty());
  std::string value = "left over";
  EXPECT_EQ(GetCfgValue(client, "a", "b", "c", value, "RMy Test", CfgItemCommand::kGet), CfgItemStatus::kNoServer);
  EXPECT_EQ(value, "");
}

TEST(LxIpcClient, RequestsOverTheLimitsAreRejectedWithoutAsking) {
  SocketDirectory directory;
  int asked = 0;
  ScriptedServer server(directory.SocketPath(), [&asked](const wire::Request&) {
    ++asked;
    return ValueReply("");
  });
  LxIpcClient client("quenlo", directory.SocketPath(), kShortTimeout);
  const std::string longName(wire::kMaxNameBytes + 1, 'n');
  const std::string longValue(wire::kMaxValueBytes + 1, 'v');
  EXPECT_EQ(SetCfgValue(client, "s", "t", longName, "v", "My-Test", CfgItemCommand::kSet), CfgItemStatus::kRejected);
  EXPECT_EQ(SetCfgValue(client, "s", "t", "k", longValue, "My-Test", CfgItemCommand::kSet), CfgItemStatus::kRejected);
  std::string value;
  EXPECT_EQ(GetCfgValue(client, "s", "t", "k", value, "RMy Test", CfgItemCommand::kSet), CfgItemStatus::kRejected);
  EXPECT_EQ(SetCfgValue(client, "s", "t", "k", "v", "My-Test", CfgItemCommand::kGet), CfgItemStatus::kRejected);
  EXPECT_EQ(asked, 0);
}

TEST(LxIpcClient, SilentServerTimesOutWithinTheBound) {
  SocketDirectory directory;
  ACE_LSOCK_Acceptor listener;  // accepts into its backlog, never answers
  ASSERT_NE(listener.open(ACE_UNIX_Addr(directory.SocketPath().c_str())), -1);
  LxIpcClient client("quenlo", directory.SocketPath(), kShortTimeout);
  const Clock::time_point start = Clock::now();
  std::string value;
  EXPECT_EQ(GetCfgValue(client, "a", "b", "c", value, "RMy Test", CfgItemCommand::kGet), CfgItemStatus::kTimeout);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
  listener.close();
}

TEST(LxIpcClient, GarbageReplyIsAServerError) {
  SocketDirectory directory;
  ScriptedServer server(directory.SocketPath(), [](const wire::Request&) { return std::string("garbage!"); });
  LxIpcClient client("quenlo", directory.SocketPath(), kShortTimeout);
  std::string value;
  EXPECT_EQ(GetCfgValue(client, "a", "b", "c", value, "RMy Test", CfgItemCommand::kGet),
            CfgItemStatus::kServerError);
}

TEST(LxIpcClient, ReconnectsWhenTheServerDroppedAKeptConnection) {
  SocketDirectory directory;
  int answered = 0;
  // Answers, then closes the connection on the next request, as a server
  // that restarted between two requests would.
  ScriptedServer server(directory.SocketPath(), [&answered](const wire::Request&) {
    return answered++ % 2 == 0 ? ValueReply("v" + std::to_string(answered)) : std::string();
  });
  LxIpcClient client("quenlo", directory.SocketPath(), kShortTimeout);
  std::string value;
  EXPECT_EQ(GetCfgValue(client, "a", "b", "c", value, "RMy Test", CfgItemCommand::kGet), CfgItemStatus::kSuccess);
  EXPECT_EQ(value, "v1");
  EXPECT_EQ(GetCfgValue(client, "a", "b", "c", value, "RMy Test", CfgItemCommand::kGet), CfgItemStatus::kSuccess);
  EXPECT_EQ(value, "v3");
  EXPECT_EQ(server.connections(), 2);
}

TEST(LxIpcClient, ReleaseWakesARequestUnderWayAndEndsTheHandle) {
  SocketDirectory directory;
  ACE_LSOCK_Acceptor listener;
  ASSERT_NE(listener.open(ACE_UNIX_Addr(directory.SocketPath().c_str())), -1);
  LxIpcClient client("quenlo", directory.SocketPath(), ACE_Time_Value(30));
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
  listener.close();
}

}  // namespace
}  // namespace qet_cfgserver
