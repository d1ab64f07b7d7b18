// cfgserver: the configuration server. See ServerOptions::Usage().
#include <ace/Init_ACE.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "ConfigServer.h"
#include "ServerOptions.h"
#include "ServerLog.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitStartFailed = 1;
constexpr int kExitUsage = 2;

int Serve(const qet_cfgserver::ServerOptions& options) {
  qet_cfgserver::ConfigServer server;
  LxStatus status = server.Start(options);
  if (status.ok()) status = server.Run();
  if (status.ok()) return kExitOk;
  fprintf(stderr, "cfgserver: %s\n", status.message().c_str());
  return kExitStartFailed;
}

}  // namespace

int main(int argc, char** argv) {
  qet_cfgserver::ServerOptions options;
  LxStatus parsed = qet_cfgserver::ServerOptions::Parse(std::vector<std::string>(argv + 1, argv + argc), &options);
  if (!parsed.ok()) {
    fprintf(stderr, "cfgserver: %s\nTry 'cfgserver --help' for more information.\n", parsed.message().c_str());
    return kExitUsage;
  }
  if (options.help) {
    fputs(qet_cfgserver::ServerOptions::Usage().c_str(), stdout);
    return kExitOk;
  }
  options.ResolveDefaults();

  ACE::init();
  const int exitStatus = Serve(options);
  __dlog_printf(kDlogNotice, qet_cfgserver::kServerLogSource, "stopped with exit status %d", exitStatus);
  ACE::fini();
  return exitStatus;
}
