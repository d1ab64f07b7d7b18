#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "common/LxStatus.h"
#include "tests/support/TemporaryDirectory.h"

namespace quenlo_test {

using Duration = std::chrono::milliseconds;

// How a child ended: exited with a code, or was killed by a signal.
struct ExitStatus {
  bool exited = false;  // true: code is valid; false: signal is valid
  int code = -1;
  int signal = 0;

  bool IsExit(int expected) const { return exited && code == expected; }
  bool IsSignal(int expected) const { return !exited && signal == expected; }
  std::string ToString() const { return exited ? "exit " + std::to_string(code) : "signal " + std::to_string(signal); }
};

// One program started by a test, with default signal handling. When the
// build defines QUENLO_CHILD_EMULATOR (a ';'-separated command, set for cross
// builds) that command is put in front of the program.
//
// With Options::capture stdin is a pipe, and stdout and stderr go to files in
// a private temporary directory, read back by polling into output() and
// errors(); a chatty child never blocks. Otherwise the child shares the
// test's stdin, stdout and stderr. Every call that waits has a deadline, so a
// child that misbehaves fails the test instead of hanging it.
//
// The destructor kills a child still running with SIGKILL and reaps it.
// Not copyable, not thread-safe: one thread drives a child.
class ChildProcess {
 public:
  // Another user for the child, switched to by util-linux's setpriv (no
  // supplementary groups); only root can do that.
  struct User {
    uid_t uid;
    gid_t gid;
  };

  struct Options {
    std::vector<std::string> environment;  // extra "NAME=value" entries; they replace inherited ones
    bool capture = false;
    std::optional<User> runAs = std::nullopt;  // the test's own user when empty
  };

  ~ChildProcess();

  // Starts program with arguments (argv[1..]). Fails when a child is running.
  LxStatus Start(const std::string& program, const std::vector<std::string>& arguments, const Options& options);

  // Writes all bytes to the child's stdin; TimedOut when it does not read them.
  LxStatus Write(const std::string& bytes, Duration timeout);
  // Closes the child's stdin, so it reads end of file.
  void CloseInput();

  // Waits until stdout contains text; fails when the child ends without it.
  LxStatus ReadUntil(const std::string& text, Duration timeout);
  // Everything read so far from stdout / stderr.
  const std::string& output() const { return output_; }
  const std::string& errors() const { return errors_; }

  LxStatus Signal(int signal);
  // Waits for the child to end; TimedOut leaves it running.
  LxStatus Wait(Duration timeout, ExitStatus* status);
  // Has the child ended? Reaps it when it has, and from then on keeps
  // reporting how it ended; never blocks. Brings output() and errors() up
  // to date.
  bool Exited(ExitStatus* status);

  // The name the kernel gives a child started from program, as peers'
  // credentials report it (/proc/PID/comm): the program's file name, at most
  // 15 bytes; under QUENLO_CHILD_EMULATOR the emulator's, which is this
  // test's own since the same emulator runs the test.
  static std::string KernelName(const std::string& program);

 private:
  pid_t pid_ = -1;
  ExitStatus ended_;
  int input_ = -1;
  bool capture_ = false;
  std::string output_;
  std::string errors_;
  TemporaryDirectory captureDirectory_;
};

}  // namespace quenlo_test
