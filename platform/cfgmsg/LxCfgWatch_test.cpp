#include "cfgmsg/LxCfgWatch.h"

#include <ace/LSOCK_Acceptor.h>
#include <ace/LSOCK_Stream.h>
#include <ace/UNIX_Addr.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <thread>

#include "cfgwire/Messages.h"
#include "tests/support/TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

// Accepts one connection at path, answers its subscription kSuccess, then
// sends nothing and reads until the watch goes away (or for long after a
// test's own deadline).
class QuietServer {
 public:
  explicit QuietServer(const std::string& path) {
    EXPECT_NE(acceptor_.open(ACE_UNIX_Addr(path.c_str())), -1);
    thread_ = std::thread([this] {
      std::string answer;
      wire::EncodeReplyFrame(wire::Reply(), &answer, wire::kProtocolVersion);
      ACE_LSOCK_Stream stream;
      ACE_Time_Value wait(30);
      char bytes[512];
      if (acceptor_.accept(stream, nullptr, &wait) == -1) return;
      if (stream.recv(bytes, sizeof bytes, &wait) > 0) stream.send_n(answer.data(), answer.size(), MSG_NOSIGNAL);
      while (stream.recv(bytes, sizeof bytes, &wait) > 0) {
      }
      stream.close();
    });
  }
  ~QuietServer() {
    thread_.join();
    acceptor_.remove();
  }

 private:
  ACE_LSOCK_Acceptor acceptor_;
  std::thread thread_;
};

// Close() from another thread wakes a Next() waiting for events.
TEST(LxCfgWatchTest, CloseFromAnotherThreadWakesAWaitingNext) {
  quenlo_test::TemporaryDirectory directory;
  const std::string path = directory.File("watched");
  QuietServer server(path);
  CfgItemStatus::Status status = CfgItemStatus::kServerError;
  std::unique_ptr<LxCfgWatch> watch = LxCfgWatch::OpenAt("watch-test", path, ConfigScope(), &status);
  ASSERT_EQ(status, CfgItemStatus::kSuccess);
  std::thread closer([&watch] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // most likely once Next() waits
    watch->Close();
  });
  LxCfgWatch::Event event;
  EXPECT_EQ(watch->Next(&event, ACE_Time_Value(10)), CfgItemStatus::kNoServer);
  closer.join();
}

}  // namespace
}  // namespace qet_cfgserver
