#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "LxStatus.h"

namespace quenlo_test {

using Duration = std::chrono::milliseconds;

// How a child ended: exited with a code, or was killed by a signal.
struct ExitStatus {
  bool exited = false;  // true: code is valid; false: signal is valid
  int code = -1;
  int signal = 0;

  bool IsExit(int expected) const { return exited && code == expected; }
  bool IsSignal(int expected) const { return !exited && signal == expected; }
  std::string ToString() const;  // "exit 0", "signal 9"
};

// One program started by a test. It is started with posix_spawn; when the
// build defines QUENLO_CHILD_EMULATOR (a ';'-separated command such as
// "qemu-ppc;-L;/sysroot", set for cross builds) that command is put in front
// of the program, so cross-built programs run under the emulator.
//
// With Options::capture the child's stdin, stdout and stderr are pipes owned
// by this object; otherwise stdin is /dev/null and stdout/stderr are shared
// with the test. Every call that waits takes a timeout and uses poll(), so a
// child that misbehaves fails the test instead of hanging it. While waiting,
// output is drained into output()/errors(), so a chatty child never blocks
// on a full pipe.
//
// The destructor kills the child with SIGKILL if it is still running and
// reaps it. Not thread-safe: one thread drives a child.
class ChildProcess {
 public:
  struct Options {
    std::vector<std::string> environment;  // extra "NAME=value" entries; they replace inherited ones
    bool capture = false;                  // pipes for stdin, stdout and stderr
  };

  ChildProcess() = default;
  ~ChildProcess();

  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts program with arguments (argv[1..]; argv[0] is program).
  // Fails when a child is already running or the spawn fails.
  LxStatus Start(const std::string& program, const std::vector<std::string>& arguments, const Options& options);

  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // Writes bytes to the child's stdin, all of them or TimedOut.
  LxStatus Write(const std::string& bytes, Duration timeout);
  // Closes the child's stdin, so it reads end of file.
  void CloseInput();

  // Reads until stdout contains text, or until end of file / timeout (fails).
  LxStatus ReadUntil(const std::string& text, Duration timeout);
  // Reads stdout and stderr until both reach end of file; TimedOut if not.
  LxStatus ReadToEnd(Duration timeout);

  // Everything read so far from stdout / stderr.
  const std::string& output() const { return output_; }
  const std::string& errors() const { return errors_; }

  LxStatus Signal(int signal);

  // Waits for the child to end; TimedOut leaves it running.
  LxStatus Wait(Duration timeout, ExitStatus* status);

  // Has the child ended already? Reaps it when it has; never blocks.
  bool Exited(ExitStatus* status);

 private:
  // One round of poll() over the open pipes, at most until deadline.
  void Pump(std::chrono::steady_clock::time_point deadline);
  void ReadFrom(int* descriptor, std::string* sink);
  void CloseAll();

  pid_t pid_ = -1;
  int input_ = -1;
  int outputPipe_ = -1;
  int errorPipe_ = -1;
  std::string pendingInput_;
  std::string output_;
  std::string errors_;
};

// The emulator command from QUENLO_CHILD_EMULATOR, split at ';'; empty when
// programs run natively.
std::vector<std::string> ChildEmulator();

}  // namespace quenlo_test
