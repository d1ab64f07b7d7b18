#include "requests/RequestLog.h"

#include <gtest/gtest.h>

#include <string>

namespace qet_cfgserver {
namespace {

// Names in log lines come from clients: whatever they send, a line stays
// one line of printable ASCII that cannot be mistaken for another field.
TEST(PrintableTest, KeepsPrintableRunsAndEscapesEveryOtherByte) {
  EXPECT_EQ(Printable(""), "");
  EXPECT_EQ(Printable("net.eth0 = on"), "net.eth0 = on");
  EXPECT_EQ(Printable(std::string("a\0b", 3)), "a\\x00b");
  EXPECT_EQ(Printable("line\nforged INFO"), "line\\x0aforged INFO");
  // The escape character itself, so that "\x0a" in a name is not a newline.
  EXPECT_EQ(Printable("C:\\x0a"), "C:\\x5cx0a");
  EXPECT_EQ(Printable("\x7f\x80\xff"), "\\x7f\\x80\\xff");
  EXPECT_EQ(Printable("\x1b[2J"), "\\x1b[2J");
}

TEST(PrintableTest, CutsLongNamesAndSaysSo) {
  const std::string eighty(80, 'n');
  EXPECT_EQ(Printable(eighty), eighty);
  EXPECT_EQ(Printable(eighty + "tail"), eighty + "...");
  // The bound counts the name's bytes, not the escapes they become.
  const std::string controls(100, '\x01');
  std::string escaped;
  for (int index = 0; index < 80; ++index) escaped += "\\x01";
  EXPECT_EQ(Printable(controls), escaped + "...");
  EXPECT_EQ(Printable(std::string(79, 'n') + "\n" + "more"), std::string(79, 'n') + "\\x0a...");
}

TEST(PeerCredentialsTest, DescribesTheUserAndProgramOrTheServerItself) {
  PeerCredentials peer;
  EXPECT_EQ(peer.Describe(), "the server itself");
  peer.uid = 65534;
  peer.gid = 65534;
  peer.pid = 4242;
  peer.userName = "nobody";
  peer.program = "cfgctl";
  EXPECT_EQ(peer.Describe(), "uid 65534 (nobody) pid 4242 (cfgctl)");
  peer.uid = 0;
  peer.pid = 1;
  peer.userName = std::string(300, 'u');  // a name longer than any reserve guess
  EXPECT_EQ(peer.Describe(), "uid 0 (" + std::string(300, 'u') + ") pid 1 (cfgctl)");
}

}  // namespace
}  // namespace qet_cfgserver
