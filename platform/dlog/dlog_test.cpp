#include "dlog/dlog.h"

#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "tests/support/TemporaryDirectory.h"

namespace {

// Sends standard error to a fresh file for the life of the object.
class StandardErrorToFile {
 public:
  explicit StandardErrorToFile(const std::string& path) : path_(path), saved_(dup(STDERR_FILENO)) {
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(file, STDERR_FILENO);
    close(file);
  }
  ~StandardErrorToFile() {
    dup2(saved_, STDERR_FILENO);
    close(saved_);
  }

  std::string Contents() const {
    std::ifstream input(path_);
    std::stringstream contents;
    contents << input.rdbuf();
    return contents.str();
  }

  // "device:inode", as systemd puts a stream in $JOURNAL_STREAM.
  static std::string StreamName() {
    struct stat status {};
    fstat(STDERR_FILENO, &status);
    return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
  }

 private:
  const std::string path_;
  const int saved_;
};

// Runs one log call with standard error sent to a fresh file and
// $JOURNAL_STREAM as given (null: unset), and returns what was written.
std::string LogLine(const quenlo_test::TemporaryDirectory& directory, const std::string& name, int level,
                    const char* journalStream, bool streamOfThatFile) {
  StandardErrorToFile standardError(directory.File(name));
  if (streamOfThatFile)
    setenv("JOURNAL_STREAM", StandardErrorToFile::StreamName().c_str(), 1);
  else if (journalStream != nullptr)
    setenv("JOURNAL_STREAM", journalStream, 1);
  else
    unsetenv("JOURNAL_STREAM");
  __dlog_printf(level, "test", "value %d\n", 42);
  unsetenv("JOURNAL_STREAM");
  return standardError.Contents();
}

// The journal gets each line's level as a "<N>" priority; a terminal, a file
// or a pipe gets today's line unchanged, also when $JOURNAL_STREAM names a
// stream that standard error no longer is (a redirection in a service).
TEST(DlogTest, PriorityPrefixOnlyWhenStandardErrorIsTheJournal) {
  quenlo_test::TemporaryDirectory directory;
  ASSERT_FALSE(directory.path().empty());

  const std::string plain = LogLine(directory, "plain", kDlogWarning, nullptr, false);
  EXPECT_NE(plain.find(" WARNING test: value 42\n"), std::string::npos) << plain;
  EXPECT_TRUE(plain.size() > 4 && plain.compare(4, 1, "-") == 0) << "starts with the year: " << plain;

  EXPECT_EQ(LogLine(directory, "journal", kDlogWarning, nullptr, true).substr(0, 3), "<4>");
  EXPECT_EQ(LogLine(directory, "debug", kDlogDebug, nullptr, true).substr(0, 3), "<7>");
  __dlog_set_max_level(9);  // by default lines past debug are dropped
  const std::string outOfRange = LogLine(directory, "range", 9, nullptr, true);
  __dlog_set_max_level(kDlogDebug);
  EXPECT_NE(outOfRange.find(" LEVEL9 test: "), std::string::npos) << outOfRange;
  EXPECT_NE(outOfRange.substr(0, 1), "<");

  EXPECT_NE(LogLine(directory, "other", kDlogError, "1:2", false).substr(0, 1), "<");
  EXPECT_NE(LogLine(directory, "garbage", kDlogError, "journal", false).substr(0, 1), "<");
}

// "2026-12-05T19:13:53.123Z": digits wherever the layout has them.
bool IsTimestamp(const std::string& text) {
  const std::string layout = "dddd-dd-ddTdd:dd:dd.dddZ";
  if (text.size() != layout.size()) return false;
  for (std::size_t index = 0; index < layout.size(); ++index) {
    const bool digit = isdigit(static_cast<unsigned char>(text[index])) != 0;
    if (layout[index] == 'd' ? !digit : text[index] != layout[index]) return false;
  }
  return true;
}

// time.milliseconds, program[pid], level, source, text: what readers of
// the log parse.
TEST(DlogTest, EveryLineHasTheDocumentedLayout) {
  quenlo_test::TemporaryDirectory directory;
  ASSERT_FALSE(directory.path().empty());
  const std::string program = std::string(" ") + program_invocation_short_name + "[" + std::to_string(getpid()) + "] ";
  const std::size_t timeBytes = 24;
  const std::string line = LogLine(directory, "layout", kDlogNotice, nullptr, false);
  EXPECT_TRUE(IsTimestamp(line.substr(0, timeBytes))) << line;
  EXPECT_EQ(line.substr(std::min(line.size(), timeBytes)), program + "NOTICE test: value 42\n");
  const std::string negative = LogLine(directory, "negative", -3, nullptr, false);
  EXPECT_TRUE(IsTimestamp(negative.substr(0, timeBytes))) << negative;
  EXPECT_EQ(negative.substr(std::min(negative.size(), timeBytes)), program + "LEVEL-3 test: value 42\n");
}

// The process id is remembered between lines; a child must not log its
// parent's.
TEST(DlogTest, AForkedChildLogsItsOwnProcessId) {
  quenlo_test::TemporaryDirectory directory;
  ASSERT_FALSE(directory.path().empty());
  const std::string parentLine = LogLine(directory, "parent", kDlogNotice, nullptr, false);
  ASSERT_NE(parentLine.find("[" + std::to_string(getpid()) + "]"), std::string::npos) << parentLine;
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    const std::string line = LogLine(directory, "child", kDlogNotice, nullptr, false);
    _exit(line.find("[" + std::to_string(getpid()) + "]") != std::string::npos ? 0 : 1);
  }
  int status = 0;
  while (waitpid(child, &status, 0) == -1 && errno == EINTR) {
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child logged another process id";
}

std::size_t CountLines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Held lines reach the file only at release, in order; other threads' lines
// are not held; more than the buffer holds goes out early, each line whole.
TEST(DlogTest, HeldLinesAreWrittenTogetherWholeAndInOrder) {
  quenlo_test::TemporaryDirectory directory;
  ASSERT_FALSE(directory.path().empty());
  StandardErrorToFile standardError(directory.File("held"));

  __dlog_hold();
  __dlog_hold();  // holding twice is holding once
  for (int index = 0; index < 3; ++index) __dlog_printf(kDlogInfo, "test", "held %d", index);
  std::thread([] { __dlog_printf(kDlogInfo, "test", "from another thread"); }).join();
  const std::string beforeRelease = standardError.Contents();
  EXPECT_EQ(CountLines(beforeRelease), 1u) << beforeRelease;
  EXPECT_NE(beforeRelease.find(" INFO test: from another thread\n"), std::string::npos) << beforeRelease;
  EXPECT_GT(__dlog_release(), 0);
  const std::string released = standardError.Contents();
  const std::size_t first = released.find("held 0\n"), second = released.find("held 1\n"),
                    third = released.find("held 2\n");
  EXPECT_TRUE(first != std::string::npos && first < second && second < third && third != std::string::npos)
      << released;
  __dlog_printf(kDlogInfo, "test", "after release");
  EXPECT_NE(standardError.Contents().find("after release\n"), std::string::npos) << "released means written at once";

  // 40 lines of about 900 bytes: many times what the buffer holds.
  const std::string filler(900, 'f');
  const std::size_t linesBefore = CountLines(standardError.Contents());
  __dlog_hold();
  for (int index = 0; index < 40; ++index) __dlog_printf(kDlogInfo, "test", "%02d %s", index, filler.c_str());
  const std::size_t early = CountLines(standardError.Contents()) - linesBefore;
  EXPECT_GT(early, 0u) << "a full buffer is written out";
  EXPECT_LT(early, 40u);
  __dlog_release();
  std::istringstream lines(standardError.Contents());
  std::string line;
  int next = 0;
  while (std::getline(lines, line)) {
    if (line.find(filler) == std::string::npos) continue;
    char number[4];
    snprintf(number, sizeof number, "%02d ", next);
    EXPECT_NE(line.find(std::string(": ") + number + filler), std::string::npos) << "line " << next << " cut or out of order";
    ++next;
  }
  EXPECT_EQ(next, 40);
}

// The journal's priority prefix, asked once for a held burst, is on each of
// its lines.
TEST(DlogTest, HeldLinesForTheJournalEachHaveTheirPriority) {
  quenlo_test::TemporaryDirectory directory;
  ASSERT_FALSE(directory.path().empty());
  StandardErrorToFile standardError(directory.File("journal"));
  setenv("JOURNAL_STREAM", StandardErrorToFile::StreamName().c_str(), 1);
  __dlog_hold();
  __dlog_printf(kDlogInfo, "test", "first");
  __dlog_printf(kDlogError, "test", "second");
  __dlog_release();
  unsetenv("JOURNAL_STREAM");
  const std::string written = standardError.Contents();
  EXPECT_EQ(written.substr(0, 3), "<6>") << written;
  EXPECT_NE(written.find("\n<3>"), std::string::npos) << written;
  EXPECT_EQ(CountLines(written), 2u) << written;
}

// A thread that ends holding lines still writes them.
TEST(DlogTest, AThreadThatEndsHoldingLosesNoLine) {
  quenlo_test::TemporaryDirectory directory;
  ASSERT_FALSE(directory.path().empty());
  StandardErrorToFile standardError(directory.File("ended"));
  std::thread([] {
    __dlog_hold();
    __dlog_printf(kDlogNotice, "test", "held until the thread ended");
  }).join();
  EXPECT_NE(standardError.Contents().find(" NOTICE test: held until the thread ended\n"), std::string::npos);
}

}  // namespace
