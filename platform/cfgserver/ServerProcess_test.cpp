// Tests against the real cfgserver binary, each in its own runtime directory.
#include <ace/LSOCK_Acceptor.h>
#include <ace/LSOCK_Connector.h>
#include <ace/LSOCK_Stream.h>
#include <ace/Time_Value.h>
#include <ace/UNIX_Addr.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Frame.h"
#include "Messages.h"
#include "ServerProcess.h"
#include "TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

using quenlo_test::ChildProcess;
using quenlo_test::Duration;
using quenlo_test::ExitStatus;
using quenlo_test::ServerProcess;
using quenlo_test::TemporaryDirectory;
using wire::Operation;

// Generous: the server may run under an emulator.
const ACE_Time_Value kReplyTimeout(10);
constexpr Duration kExitTimeout(10000);

wire::Request MakeRequest(Operation operation, const std::string& set = "", const std::string& section = "",
                          const std::string& key = "", const std::string& value = "") {
  wire::Request request;
  request.operation = operation;
  request.client = "server-test";
  request.set = set;
  request.section = section;
  request.key = key;
  request.value = value;
  return request;
}

std::string RequestFrame(const wire::Request& request) {
  std::string frame;
  EXPECT_TRUE(wire::EncodeRequestFrame(request, &frame).ok());
  return frame;
}

// A raw client: sends any bytes, reads reply frames with a deadline.
class TestClient {
 public:
  bool Connect(const std::string& path) {
    ACE_LSOCK_Connector connector;
    return connector.connect(stream_, ACE_UNIX_Addr(path.c_str())) == 0;
  }
  ~TestClient() { stream_.close(); }

  bool Send(const std::string& bytes) {
    return stream_.send_n(bytes.data(), bytes.size(), MSG_NOSIGNAL, &kReplyTimeout) ==
           static_cast<ssize_t>(bytes.size());
  }

  // False on timeout, end of stream or a reply that does not decode.
  bool Receive(wire::Reply* reply) {
    for (;;) {
      wire::FrameHeader header;
      std::string body;
      LxStatus error;
      const auto result = assembler_.Next(&header, &body, &error);
      if (result == wire::FrameAssembler::Result::kFrame) return wire::DecodeReplyBody(header, body, reply).ok();
      if (result == wire::FrameAssembler::Result::kBadFrame) return false;
      char chunk[65536];
      const ssize_t received = stream_.recv(chunk, sizeof chunk, &kReplyTimeout);
      if (received <= 0) return false;
      assembler_.Append(chunk, static_cast<std::size_t>(received));
    }
  }

  wire::Reply Exchange(const wire::Request& request) {
    wire::Reply reply;
    reply.status = CfgItemStatus::kNoServer;
    if (!Send(RequestFrame(request)) || !Receive(&reply)) reply.status = CfgItemStatus::kNoServer;
    return reply;
  }

  // True when the server closes the connection (end of stream) in time.
  bool ClosedByServer() {
    char byte;
    return stream_.recv(&byte, 1, &kReplyTimeout) == 0;
  }

 private:
  ACE_LSOCK_Stream stream_;
  wire::FrameAssembler assembler_;
};

class ServerProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(directory_.path().empty());
    options_.runtimeDirectory = directory_.File("run");
    options_.database = directory_.File("state/config.db");
  }

  void StartServer() {
    LxStatus status = server_.Start(options_);
    ASSERT_TRUE(status.ok()) << status.ToString();
  }

  std::unique_ptr<TestClient> Connect() {
    std::unique_ptr<TestClient> client(new TestClient);
    EXPECT_TRUE(client->Connect(server_.socketPath()));
    return client;
  }

  void ExpectValue(TestClient* client, const std::string& key, const std::string& expected) {
    wire::Reply reply = client->Exchange(MakeRequest(Operation::kGetValue, "set", "section", key));
    EXPECT_EQ(reply.status, CfgItemStatus::kSuccess) << key;
    EXPECT_EQ(reply.value, expected) << key;
  }

  // Runs cfgserver with arguments to its end, capturing its output.
  ExitStatus RunToEnd(const std::vector<std::string>& arguments, ChildProcess* child) {
    ChildProcess::Options childOptions;
    childOptions.capture = true;
    EXPECT_TRUE(child->Start(ServerProcess::ExecutablePath(), arguments, childOptions).ok());
    child->CloseInput();
    EXPECT_TRUE(child->ReadToEnd(kExitTimeout).ok());
    ExitStatus status;
    EXPECT_TRUE(child->Wait(kExitTimeout, &status).ok());
    return status;
  }

  TemporaryDirectory directory_;
  ServerProcess::Options options_;
  ServerProcess server_;
};

TEST_F(ServerProcessTest, ManyConcurrentClients) {
  StartServer();
  constexpr int kClients = 40;
  std::vector<std::unique_ptr<TestClient>> clients;
  for (int index = 0; index < kClients; ++index) clients.push_back(Connect());
  // Every client's request is in flight before any reply is read.
  for (int index = 0; index < kClients; ++index)
    ASSERT_TRUE(clients[index]->Send(RequestFrame(
        MakeRequest(Operation::kSetValue, "set", "section", "key" + std::to_string(index), std::to_string(index)))));
  for (auto& client : clients) {
    wire::Reply reply;
    ASSERT_TRUE(client->Receive(&reply));
    EXPECT_EQ(reply.status, CfgItemStatus::kSuccess);
  }
  for (int index = 0; index < kClients; ++index)
    ExpectValue(clients[(index + 1) % kClients].get(), "key" + std::to_string(index), std::to_string(index));
  wire::Reply listing = clients[0]->Exchange(MakeRequest(Operation::kGetKeysAndValues, "set", "section"));
  EXPECT_EQ(listing.pairs.size(), static_cast<std::size_t>(kClients));
}

TEST_F(ServerProcessTest, BadFramesCloseOnlyTheirConnection) {
  StartServer();
  std::unique_ptr<TestClient> bystander = Connect();
  ASSERT_EQ(bystander->Exchange(MakeRequest(Operation::kSetValue, "set", "section", "key", "v")).status,
            CfgItemStatus::kSuccess);

  std::string good = RequestFrame(MakeRequest(Operation::kGetSets));
  std::string badVersion = good;
  badVersion[2] = 99;
  std::string badOrderFlag = good;
  badOrderFlag[3] = 7;
  std::string oversized = good;
  const bool little = good[3] == 1;
  for (int index = 0; index < 4; ++index) oversized[4 + index] = little == (index == 3) ? '\x7f' : '\xff';
  const std::vector<std::string> badFrames = {"garbage!garbage!", badVersion, badOrderFlag, oversized};

  for (const std::string& frame : badFrames) {
    std::unique_ptr<TestClient> offender = Connect();
    ASSERT_TRUE(offender->Send(frame));
    EXPECT_TRUE(offender->ClosedByServer());
    ExpectValue(bystander.get(), "key", "v");
  }
}

TEST_F(ServerProcessTest, UndecodableBodyIsRejectedAndTheConnectionStays) {
  StartServer();
  std::unique_ptr<TestClient> client = Connect();
  std::string frame = RequestFrame(MakeRequest(Operation::kGetSets));
  // Cut the body short but keep the header's length consistent with it.
  const std::string header = frame.substr(0, wire::kFrameHeaderBytes);
  std::string truncated = header + std::string(4, '\0');
  const bool little = header[3] == 1;
  truncated[little ? 4 : 7] = 4;
  for (int index = 0; index < 3; ++index) truncated[little ? 5 + index : 4 + index] = 0;
  ASSERT_TRUE(client->Send(truncated));
  wire::Reply reply;
  ASSERT_TRUE(client->Receive(&reply));
  EXPECT_EQ(reply.status, CfgItemStatus::kRejected);
  EXPECT_EQ(client->Exchange(MakeRequest(Operation::kGetSets)).status, CfgItemStatus::kSuccess);
}

// Appends value as 4 bytes in the given order.
void PutUnsigned(std::string* out, std::uint32_t value, bool littleEndian) {
  for (int index = 0; index < 4; ++index) {
    const int shift = littleEndian ? 8 * index : 8 * (3 - index);
    out->push_back(static_cast<char>((value >> shift) & 0xff));
  }
}

TEST_F(ServerProcessTest, FrameInTheOtherByteOrderIsUnderstood) {
  StartServer();
  // The opposite of what this machine's encoder writes.
  const bool little = RequestFrame(MakeRequest(Operation::kGetSets))[3] != 1;
  std::string body;
  PutUnsigned(&body, static_cast<std::uint32_t>(Operation::kSetValue), little);
  PutUnsigned(&body, CfgItemCommand::kSet, little);
  for (const std::string field : {"swapped", "tag", "set", "section", "key", "from the other side"}) {
    while (body.size() % 4 != 0) body.push_back('\0');  // CDR aligns every ulong
    PutUnsigned(&body, static_cast<std::uint32_t>(field.size()), little);
    body += field;
  }
  std::string frame = "QC";
  frame.push_back(static_cast<char>(wire::kProtocolVersion));
  frame.push_back(little ? 1 : 0);
  PutUnsigned(&frame, static_cast<std::uint32_t>(body.size()), little);
  frame += body;

  std::unique_ptr<TestClient> writer = Connect();
  ASSERT_TRUE(writer->Send(frame));
  wire::Reply reply;
  ASSERT_TRUE(writer->Receive(&reply));
  EXPECT_EQ(reply.status, CfgItemStatus::kSuccess);
  ExpectValue(Connect().get(), "key", "from the other side");
}

TEST_F(ServerProcessTest, HalfFrameThenStallDoesNotBlockOthers) {
  StartServer();
  std::unique_ptr<TestClient> staller = Connect();
  const std::string frame = RequestFrame(MakeRequest(Operation::kSetValue, "set", "section", "stalled", "x"));
  ASSERT_TRUE(staller->Send(frame.substr(0, 3)));  // not even a whole header
  std::unique_ptr<TestClient> second = Connect();
  ASSERT_TRUE(second->Send(frame.substr(0, frame.size() / 2)));
  std::unique_ptr<TestClient> other = Connect();
  ASSERT_EQ(other->Exchange(MakeRequest(Operation::kSetValue, "set", "section", "key", "v")).status,
            CfgItemStatus::kSuccess);
  ExpectValue(other.get(), "key", "v");
  // The stalled request completes when the rest arrives.
  ASSERT_TRUE(second->Send(frame.substr(frame.size() / 2)));
  wire::Reply reply;
  ASSERT_TRUE(second->Receive(&reply));
  EXPECT_EQ(reply.status, CfgItemStatus::kSuccess);
}

TEST_F(ServerProcessTest, AClientThatNeverReadsDoesNotBlockOthers) {
  StartServer();
  std::unique_ptr<TestClient> writer = Connect();
  const std::string big(16 * 1024, 'v');
  for (int index = 0; index < 64; ++index)
    ASSERT_EQ(writer->Exchange(MakeRequest(Operation::kSetValue, "set", "section", "k" + std::to_string(index), big))
                  .status,
              CfgItemStatus::kSuccess);
  // About 1 MB per reply, far more than a socket buffer; never read.
  std::unique_ptr<TestClient> hog = Connect();
  const std::string listing = RequestFrame(MakeRequest(Operation::kGetKeysAndValues, "set", "section"));
  for (int index = 0; index < 8; ++index) ASSERT_TRUE(hog->Send(listing));
  ExpectValue(writer.get(), "k1", big);
}

TEST_F(ServerProcessTest, SigtermStopsCleanlyAndRemovesTheSocket) {
  StartServer();
  std::unique_ptr<TestClient> idle = Connect();
  ExitStatus status;
  ASSERT_TRUE(server_.Stop(&status).ok());
  EXPECT_TRUE(status.IsExit(0)) << status.ToString();
  struct stat ignored;
  EXPECT_NE(stat(server_.socketPath().c_str(), &ignored), 0) << "socket file left behind";
  EXPECT_TRUE(idle->ClosedByServer());
}

TEST_F(ServerProcessTest, AcknowledgedWriteSurvivesKill9) {
  StartServer();
  const std::string value("survives\0kill", 13);
  ASSERT_EQ(Connect()->Exchange(MakeRequest(Operation::kSetValue, "set", "section", "key", value)).status,
            CfgItemStatus::kSuccess);
  ASSERT_TRUE(server_.Kill().ok());
  StartServer();  // also proves the socket file left by kill -9 is replaced
  ExpectValue(Connect().get(), "key", value);
}

TEST_F(ServerProcessTest, SecondServerOnTheSameDirectoryRefuses) {
  StartServer();
  ChildProcess second;
  ServerProcess::Options options = options_;
  options.database = directory_.File("other.db");
  const ExitStatus status = RunToEnd(ServerProcess::Arguments(options), &second);
  EXPECT_TRUE(status.IsExit(1)) << status.ToString();
  EXPECT_NE(second.errors().find("cfgserver: another server is already listening on " + server_.socketPath()),
            std::string::npos)
      << second.errors();
  // The first server is untouched.
  EXPECT_EQ(Connect()->Exchange(MakeRequest(Operation::kGetSets)).status, CfgItemStatus::kSuccess);
}

TEST_F(ServerProcessTest, StaleSocketFileIsReplaced) {
  ASSERT_EQ(mkdir(options_.runtimeDirectory.c_str(), 0700), 0);
  {
    // Bound and closed without unlink: what a crashed server leaves.
    ACE_LSOCK_Acceptor stale;
    ASSERT_EQ(stale.open(ACE_UNIX_Addr((options_.runtimeDirectory + "/CfgServer-ReadFifo").c_str())), 0);
    stale.close();
  }
  StartServer();
  EXPECT_EQ(Connect()->Exchange(MakeRequest(Operation::kGetSets)).status, CfgItemStatus::kSuccess);
}

TEST_F(ServerProcessTest, ImportsAtStartKeepOperatorChanges) {
  const std::string defaults = directory_.File("set.ini");
  ASSERT_TRUE(quenlo_test::WriteFile(defaults, "[section]\nkey = default\nother = 2\n"));
  options_.imports = {defaults};
  StartServer();
  std::unique_ptr<TestClient> client = Connect();
  ExpectValue(client.get(), "key", "default");
  ASSERT_EQ(client->Exchange(MakeRequest(Operation::kSetValue, "set", "section", "key", "changed")).status,
            CfgItemStatus::kSuccess);
  ExitStatus status;
  ASSERT_TRUE(server_.Stop(&status).ok());
  StartServer();
  ExpectValue(Connect().get(), "key", "changed");
}

TEST_F(ServerProcessTest, CommandLineErrorsAndStartupFailures) {
  ChildProcess unknown;
  EXPECT_TRUE(RunToEnd({"--x"}, &unknown).IsExit(2));
  EXPECT_NE(unknown.errors().find("cfgserver: unknown option '--x'"), std::string::npos) << unknown.errors();
  EXPECT_NE(unknown.errors().find("--help"), std::string::npos);

  ChildProcess help;
  EXPECT_TRUE(RunToEnd({"--help"}, &help).IsExit(0));
  EXPECT_NE(help.output().find("Usage: cfgserver"), std::string::npos);

  ChildProcess badImport;
  options_.imports = {directory_.File("missing.ini")};
  EXPECT_TRUE(RunToEnd(ServerProcess::Arguments(options_), &badImport).IsExit(1));
  EXPECT_NE(badImport.errors().find("missing.ini"), std::string::npos) << badImport.errors();
}

}  // namespace
}  // namespace qet_cfgserver
