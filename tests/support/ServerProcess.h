#pragma once

#include <string>
#include <vector>

#include "ChildProcess.h"
#include "LxStatus.h"

namespace quenlo_test {

// The real cfgserver (the one this build made; see ExecutablePath()) run by
// a test in a directory of its own. Start() returns once the server accepts
// connections on its socket, or fails with the reason, including the
// server's exit status when it gave up on its own. The destructor kills a
// server that is still running. Not thread-safe.
//
// Clients started by tests find the server through the runtime directory:
// pass environment() to them (it sets CFGSERVER_RUNTIME_DIR).
class ServerProcess {
 public:
  // The server needs this long at most to come up or go down; generous,
  // because cross-built servers run under an emulator.
  static constexpr Duration kDefaultTimeout{10000};

  struct Options {
    std::string runtimeDirectory;       // --runtime-dir
    std::string database;               // --database
    std::vector<std::string> imports;   // one --import each
    std::vector<std::string> extraArguments;
  };

  ServerProcess() = default;
  ~ServerProcess() = default;  // the child's destructor kills a running server

  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  LxStatus Start(const Options& options, Duration timeout = kDefaultTimeout);

  // SIGTERM, then wait for the exit.
  LxStatus Stop(ExitStatus* status, Duration timeout = kDefaultTimeout);
  // SIGKILL, then reap; the server gets no chance to clean up.
  LxStatus Kill();

  bool running() const { return child_.running(); }
  pid_t pid() const { return child_.pid(); }

  // The socket the server listens on: <runtime dir>/CfgServer-ReadFifo.
  const std::string& socketPath() const { return socketPath_; }
  // {"CFGSERVER_RUNTIME_DIR=<runtime dir>"}, for ChildProcess::Options.
  std::vector<std::string> environment() const;

  // The arguments Start() passes for options.
  static std::vector<std::string> Arguments(const Options& options);
  // The cfgserver executable of this build (QUENLO_CFGSERVER_PATH).
  static std::string ExecutablePath();

 private:
  ChildProcess child_;
  std::string runtimeDirectory_;
  std::string socketPath_;
};

// Tries once to connect to a UNIX stream socket at path.
bool SocketAccepts(const std::string& path);

}  // namespace quenlo_test
