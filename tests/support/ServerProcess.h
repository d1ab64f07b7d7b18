#pragma once

#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

namespace quenlo_test {

// The cfgserver this build made, run by a test in a runtime directory of its
// own, its log captured in errors(). Start() returns once the server accepts
// connections, or fails with the reason (with the exit status and log when
// the server gave up by itself). The destructor kills a server still running.
// Not copyable, not thread-safe.
class ServerProcess {
 public:
  // Generous, because cross-built servers run under an emulator.
  static constexpr Duration kDefaultTimeout{10000};

  struct Options {
    std::string runtimeDirectory;      // --runtime-dir, required
    std::string database;              // --database
    std::vector<std::string> imports;  // one --import each
    std::vector<std::string> extraArguments;
  };

  LxStatus Start(const Options& options, Duration timeout = kDefaultTimeout);
  // SIGTERM, then wait for the exit.
  LxStatus Stop(ExitStatus* status, Duration timeout = kDefaultTimeout);
  // SIGKILL, then reap; the server gets no chance to clean up.
  LxStatus Kill();
  // Sends signal (SIGHUP: read the access file again).
  LxStatus Signal(int signal) { return child_.Signal(signal); }

  // <runtime dir>/<wire::kServerEndpoint>, valid after Start().
  const std::string& socketPath() const { return socketPath_; }
  // The server's standard error so far.
  const std::string& errors() const { return child_.errors(); }
  // Waits until the server's log holds text; fails when the server ends
  // without it.
  LxStatus WaitForLog(const std::string& text, Duration timeout = kDefaultTimeout);

  // The cfgserver executable of this build (QUENLO_CFGSERVER_PATH).
  static std::string ExecutablePath();

 private:
  ChildProcess child_;
  std::string socketPath_;
};

}  // namespace quenlo_test
