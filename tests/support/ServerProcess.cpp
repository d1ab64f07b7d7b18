#include "ServerProcess.h"

#include <ace/LSOCK_Connector.h>
#include <ace/LSOCK_Stream.h>
#include <ace/UNIX_Addr.h>
#include <signal.h>

#include <thread>

#include "RuntimeDirectory.h"

// Set by the build to the cfgserver it made; empty in a build without one.
#ifndef QUENLO_CFGSERVER_PATH
#define QUENLO_CFGSERVER_PATH ""
#endif

namespace quenlo_test {

namespace {

constexpr const char* kServerEndpoint = "CfgServer-ReadFifo";
constexpr Duration kPollInterval(20);

}  // namespace

constexpr Duration ServerProcess::kDefaultTimeout;

bool SocketAccepts(const std::string& path) {
  ACE_LSOCK_Stream stream;
  ACE_LSOCK_Connector connector;
  const ACE_UNIX_Addr address(path.c_str());
  if (connector.connect(stream, address) != 0) return false;
  stream.close();
  return true;
}

std::string ServerProcess::ExecutablePath() { return QUENLO_CFGSERVER_PATH; }

std::vector<std::string> ServerProcess::Arguments(const Options& options) {
  std::vector<std::string> arguments;
  if (!options.runtimeDirectory.empty()) arguments.insert(arguments.end(), {"--runtime-dir", options.runtimeDirectory});
  if (!options.database.empty()) arguments.insert(arguments.end(), {"--database", options.database});
  for (const std::string& file : options.imports) arguments.insert(arguments.end(), {"--import", file});
  arguments.insert(arguments.end(), options.extraArguments.begin(), options.extraArguments.end());
  return arguments;
}

std::vector<std::string> ServerProcess::environment() const {
  return {std::string(qet_cfgserver::wire::kRuntimeDirectoryVariable) + "=" + runtimeDirectory_};
}

LxStatus ServerProcess::Start(const Options& options, Duration timeout) {
  if (ExecutablePath().empty()) return LxStatus::Unavailable("this build has no cfgserver");
  if (options.runtimeDirectory.empty()) return LxStatus::InvalidArgument("a test server needs its own runtime directory");
  LxStatus status = qet_cfgserver::wire::EndpointPath(options.runtimeDirectory, kServerEndpoint, &socketPath_);
  if (!status.ok()) return status;
  runtimeDirectory_ = options.runtimeDirectory;

  ChildProcess::Options childOptions;
  childOptions.environment = environment();
  status = child_.Start(ExecutablePath(), Arguments(options), childOptions);
  if (!status.ok()) return status;

  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    ExitStatus exit;
    if (child_.Exited(&exit)) return LxStatus::Unavailable("cfgserver ended during start-up: " + exit.ToString());
    if (SocketAccepts(socketPath_)) return LxStatus::Ok();
    if (std::chrono::steady_clock::now() >= deadline) return LxStatus::TimedOut("cfgserver did not start listening in time");
    std::this_thread::sleep_for(kPollInterval);
  }
}

LxStatus ServerProcess::Stop(ExitStatus* status, Duration timeout) {
  LxStatus signalled = child_.Signal(SIGTERM);
  if (!signalled.ok()) return signalled;
  return child_.Wait(timeout, status);
}

LxStatus ServerProcess::Kill() {
  LxStatus signalled = child_.Signal(SIGKILL);
  if (!signalled.ok()) return signalled;
  ExitStatus ignored;
  return child_.Wait(kDefaultTimeout, &ignored);
}

}  // namespace quenlo_test
