// Fault injection and recovery against the real cfgserver, each test with a
// runtime directory of its own.
#include "ServerProcess.h"

#include <ace/LSOCK_Connector.h>
#include <ace/LSOCK_Stream.h>
#include <ace/UNIX_Addr.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "HandWrittenFrame.h"
#include "Messages.h"
#include "TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

using wire::Operation;
constexpr CfgItemStatus::Status kNoServer = CfgItemStatus::kNoServer;

const ACE_Time_Value kReplyTimeout(10);  // generous: the server may run under an emulator

std::string Frame(Operation operation, const std::string& key = "", const std::string& value = "") {
  std::string frame;
  EXPECT_TRUE(wire::EncodeRequestFrame({operation, 0, "server-test", "", "set", "section", key, value}, &frame).ok());
  return frame;
}

// A raw client: sends any bytes, reads replies with a deadline.
class Client {
 public:
  explicit Client(const std::string& path) { ACE_LSOCK_Connector().connect(stream_, ACE_UNIX_Addr(path.c_str())); }
  ~Client() { stream_.close(); }

  bool Send(const std::string& bytes) {
    return stream_.send_n(bytes.data(), bytes.size(), MSG_NOSIGNAL, &kReplyTimeout) == ssize_t(bytes.size());
  }
  // kNoServer on timeout, end of stream or a reply that does not decode.
  wire::Reply Receive() {
    std::string bytes(wire::kFrameHeaderBytes, '\0');
    wire::FrameHeader header;
    wire::Reply reply;
    if (!Read(&bytes) || !wire::DecodeFrameHeader(bytes.data(), &header).ok() ||
        !Read(&bytes.assign(header.bodyBytes, '\0')) || !wire::DecodeReplyBody(header, bytes, &reply).ok())
      reply.status = CfgItemStatus::kNoServer;
    return reply;
  }
  CfgItemStatus::Status Exchange(const std::string& frame) { return Send(frame) ? Receive().status : kNoServer; }
  std::string Value(const std::string& key) { return Send(Frame(Operation::kGetValue, key)) ? Receive().value : ""; }
  bool ClosedByServer() {
    char byte;
    return stream_.recv(&byte, 1, &kReplyTimeout) == 0;
  }

 private:
  bool Read(std::string* buffer) {
    return stream_.recv_n(&(*buffer)[0], buffer->size(), &kReplyTimeout) == ssize_t(buffer->size());
  }

  ACE_LSOCK_Stream stream_;
};

class ServerProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { StartServer(); }
  void StartServer() {
    const LxStatus status = server_.Start({directory_.File("run"), directory_.File("config.db"), {}, {}});
    ASSERT_TRUE(status.ok()) << status.ToString();
  }
  const std::string& Socket() const { return server_.socketPath(); }

  quenlo_test::TemporaryDirectory directory_;
  quenlo_test::ServerProcess server_;
};

TEST_F(ServerProcessTest, BadFramesCloseOnlyTheirConnectionAndTheOtherByteOrderIsUnderstood) {
  Client bystander(Socket());
  ASSERT_EQ(bystander.Exchange(Frame(Operation::kSetValue, "key", "v")), CfgItemStatus::kSuccess);
  std::string badVersion = Frame(Operation::kGetSets), badOrder = badVersion, oversized = badVersion;
  badVersion[2] = 99;
  badOrder[3] = 7;
  oversized.replace(4, 4, "\x7f\x7f\x7f\x7f");  // 2 GB in either byte order
  for (const std::string& frame : {std::string("garbage!garbage!"), badVersion, badOrder, oversized}) {
    Client offender(Socket());
    ASSERT_TRUE(offender.Send(frame));
    EXPECT_TRUE(offender.ClosedByServer());
    EXPECT_EQ(bystander.Value("key"), "v");
  }

  const bool otherOrder = badVersion[3] == 0;  // the opposite of this machine's order
  const std::string frame = quenlo_test::HandWrittenFrame(otherOrder)
                                .ULong(std::uint32_t(Operation::kSetValue)).ULong(0)
                                .String("client").String("tag").String("set").String("section").String("key")
                                .String("from the other side")
                                .Frame();
  EXPECT_EQ(Client(Socket()).Exchange(frame), CfgItemStatus::kSuccess);
  EXPECT_EQ(bystander.Value("key"), "from the other side");
}

TEST_F(ServerProcessTest, StalledAndNonReadingClientsBlockNobody) {
  Client writer(Socket()), hog(Socket()), halfFrame(Socket());
  const std::string big(16 * 1024, 'v');
  for (int index = 0; index < 64; ++index)
    ASSERT_EQ(writer.Exchange(Frame(Operation::kSetValue, "k" + std::to_string(index), big)), CfgItemStatus::kSuccess);
  // About 1 MB per reply, far more than a socket buffer, and never read.
  for (int index = 0; index < 8; ++index) ASSERT_TRUE(hog.Send(Frame(Operation::kGetKeysAndValues)));
  const std::string frame = Frame(Operation::kSetValue, "stalled", "x");
  ASSERT_TRUE(halfFrame.Send(frame.substr(0, frame.size() / 2)));
  EXPECT_EQ(writer.Value("k1"), big);
  ASSERT_TRUE(halfFrame.Send(frame.substr(frame.size() / 2)));  // the stalled request completes
  EXPECT_EQ(halfFrame.Receive().status, CfgItemStatus::kSuccess);
}

TEST_F(ServerProcessTest, TakenOrUnsafeDirectoriesAreRefusedStopIsCleanAStaleSocketIsReplaced) {
  // A second server on the same directory, and servers on directories that
  // are not private or hold something else at the socket's name, refuse.
  const std::string open = directory_.File("open"), occupied = directory_.File("occupied");
  ASSERT_EQ(mkdir(open.c_str(), 0777) | chmod(open.c_str(), 0777) | mkdir(occupied.c_str(), 0700), 0);
  ASSERT_TRUE(quenlo_test::WriteFile(occupied + "/CfgServer-ReadFifo", "not a socket"));
  quenlo_test::ExitStatus status;
  for (auto [runtime, complaint] : {std::pair<std::string, std::string>{directory_.File("run"),
                                                                         "another server is already listening on"},
                                    {open, "writable by others"}, {occupied, "exists and is not a socket"}}) {
    quenlo_test::ChildProcess second;
    ASSERT_TRUE(second
                    .Start(quenlo_test::ServerProcess::ExecutablePath(),
                           {"--runtime-dir=" + runtime, "--database=" + directory_.File("2.db")}, {{}, true})
                    .ok());
    ASSERT_TRUE(second.Wait(quenlo_test::ServerProcess::kDefaultTimeout, &status).ok());
    EXPECT_TRUE(status.IsExit(1)) << status.ToString() << second.errors();
    EXPECT_NE(second.errors().find(complaint), std::string::npos) << second.errors();
  }

  ASSERT_TRUE(server_.Stop(&status).ok());
  EXPECT_TRUE(status.IsExit(0)) << status.ToString();
  EXPECT_NE(access(Socket().c_str(), F_OK), 0) << "socket file left behind";
  StartServer();
  ASSERT_TRUE(server_.Kill().ok());
  ASSERT_EQ(access(Socket().c_str(), F_OK), 0);
  StartServer();
  EXPECT_EQ(Client(Socket()).Exchange(Frame(Operation::kGetSets)), CfgItemStatus::kSuccess);
}

}  // namespace
}  // namespace qet_cfgserver
