// cfgserver: the configuration server. See ServerOptions::Usage().
#include <ace/Init_ACE.h>
#include <malloc.h>
#include <stdio.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "log/AceLogForwarder.h"
#include "log/ServerLog.h"
#include "process/ConfigServer.h"
#include "process/Readiness.h"
#include "process/ServerOptions.h"
#include "store/ConfigStore.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitStartFailed = 1;
constexpr int kExitUsage = 2;

// Configuration holds secrets (keys, passwords). SQLite creates the
// database, its -wal and -shm files and snapshots with the process umask
// applied to 0644, and bind() creates the socket with it applied to 0777:
// a umask of 077 makes every file the server creates private to its user
// (0600, the socket is narrowed from 0700 after bind) and every directory
// 0700, whatever umask the server was started under.
constexpr mode_t kPrivateFilesUmask = 077;

// Allocations from this size up get pages of their own, given back to the
// system when freed. A large reply or import staging is gone from the
// server's resident memory once it is sent or dropped, instead of leaving
// the heap as large as it was at its highest: what the memory budget bounds
// is what the device pays. (The C library's default moves this size up to
// the largest block freed so far.)
constexpr int kOwnPagesFromBytes = 128 * 1024;

int Serve(const qet_cfgserver::ServerOptions& options) {
  qet_cfgserver::ConfigServer server;
  LxStatus status = server.Start(options);
  if (status.ok()) {
    qet_cfgserver::Readiness::Listening();
    status = server.Run();
    qet_cfgserver::Readiness::Stopping();
  }
  if (status.ok()) return kExitOk;
  __dlog_printf(kDlogError, qet_cfgserver::kServerLogSource, "%s", status.message().c_str());
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
  umask(kPrivateFilesUmask);
  const LxStatus resolved = options.ResolveDefaults();
  if (!resolved.ok()) {
    __dlog_printf(kDlogError, qet_cfgserver::kServerLogSource, "%s", resolved.message().c_str());
    return kExitStartFailed;
  }
#ifdef M_MMAP_THRESHOLD
  mallopt(M_MMAP_THRESHOLD, kOwnPagesFromBytes);
#endif
  qet_cfgserver::ConfigStore::PrepareLibrary();

  ACE::init();
  int exitStatus = kExitOk;
  {
    qet_cfgserver::AceLogForwarder aceLog;
    exitStatus = Serve(options);
  }
  __dlog_printf(kDlogNotice, qet_cfgserver::kServerLogSource, "stopped with exit status %d", exitStatus);
  ACE::fini();
  return exitStatus;
}
