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

#include "tests/support/TemporaryDirectory.h"

namespace {

// Runs one log call with standard error sent to a fresh file and
// $JOURNAL_STREAM as given (null: unset), and returns what was written.
std::string LogLine(const quenlo_test::TemporaryDirectory& directory, const std::string& name, int level,
                    const char* journalStream, bool streamOfThatFile) {
  const std::string path = directory.File(name);
  const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int savedStandardError = dup(STDERR_FILENO);
  dup2(file, STDERR_FILENO);
  std::string stream = journalStream != nullptr ? journalStream : "";
  if (streamOfThatFile) {
    struct stat status {};
    fstat(file, &status);
    stream = std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
  }
  if (journalStream == nullptr && !streamOfThatFile)
    unsetenv("JOURNAL_STREAM");
  else
    setenv("JOURNAL_STREAM", stream.c_str(), 1);
  __dlog_printf(level, "test", "value %d\n", 42);
  dup2(savedStandardError, STDERR_FILENO);
  close(savedStandardError);
  close(file);
  unsetenv("JOURNAL_STREAM");
  std::ifstream input(path);
  std::stringstream contents;
  contents << input.rdbuf();
  return contents.str();
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

}  // namespace
