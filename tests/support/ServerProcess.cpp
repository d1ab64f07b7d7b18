#include "tests/support/ServerProcess.h"

#include <ace/LSOCK_Connector.h>
#include <ace/LSOCK_Stream.h>
#include <ace/UNIX_Addr.h>
#include <signal.h>

#include <thread>

#include "cfgwire/RuntimeDirectory.h"

// Set by the build to the cfgserver it made.
#ifndef QUENLO_CFGSERVER_PATH
#define QUENLO_CFGSERVER_PATH ""
#endif

namespace quenlo_test {

namespace {

constexpr Duration kPollInterval(20);

// How long a probe waits for the server to let it go.
const ACE_Time_Value kProbeRelease(1);

// Whether the server at path accepts a connection. One that does is then
// ended from our side and, for up to kProbeRelease, awaited from the
// server's: until the server has seen it end, the probe holds a client slot,
// and a test's first client at a limit of one would find no room.
bool SocketAccepts(const std::string& path) {
  ACE_LSOCK_Stream stream;
  if (ACE_LSOCK_Connector().connect(stream, ACE_UNIX_Addr(path.c_str())) != 0) return false;
  stream.close_writer();
  char unused;
  stream.recv(&unused, 1, &kProbeRelease);  // 0 once the server has closed its end
  stream.close();
  return true;
}

}  // namespace

constexpr Duration ServerProcess::kDefaultTimeout;

std::string ServerProcess::ExecutablePath() { return QUENLO_CFGSERVER_PATH; }

LxStatus ServerProcess::Start(const Options& options, Duration timeout) {
  if (options.runtimeDirectory.empty())
    return LxStatus::InvalidArgument("a test server needs its own runtime directory");
  std::vector<std::string> arguments = {"--runtime-dir", options.runtimeDirectory};
  if (!options.database.empty()) arguments.insert(arguments.end(), {"--database", options.database});
  for (const std::string& file : options.imports) arguments.insert(arguments.end(), {"--import", file});
  arguments.insert(arguments.end(), options.extraArguments.begin(), options.extraArguments.end());
  socketPath_ = options.runtimeDirectory + "/" + qet_cfgserver::wire::kServerEndpoint;
  LxStatus status = child_.Start(ExecutablePath(), arguments, {{}, true});
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (ExitStatus ended; status.ok() && !SocketAccepts(socketPath_); std::this_thread::sleep_for(kPollInterval)) {
    if (child_.Exited(&ended))
      status = LxStatus::Unavailable("cfgserver ended, " + ended.ToString() + ":\n" + errors());
    else if (std::chrono::steady_clock::now() >= deadline)
      status = LxStatus::TimedOut("cfgserver did not listen in time");
  }
  return status;
}

LxStatus ServerProcess::WaitForLog(const std::string& text, Duration timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (ExitStatus ended;; std::this_thread::sleep_for(kPollInterval)) {
    const bool exited = child_.Exited(&ended);
    if (errors().find(text) != std::string::npos) return LxStatus::Ok();
    if (exited) return LxStatus::Unavailable("cfgserver ended, " + ended.ToString() + ", without logging " + text);
    if (std::chrono::steady_clock::now() >= deadline) return LxStatus::TimedOut("cfgserver did not log " + text);
  }
}

LxStatus ServerProcess::Stop(ExitStatus* status, Duration timeout) {
  LxStatus signalled = child_.Signal(SIGTERM);
  return signalled.ok() ? child_.Wait(timeout, status) : signalled;
}

LxStatus ServerProcess::Kill() {
  ExitStatus ignored;
  LxStatus signalled = child_.Signal(SIGKILL);
  return signalled.ok() ? child_.Wait(kDefaultTimeout, &ignored) : signalled;
}

}  // namespace quenlo_test
