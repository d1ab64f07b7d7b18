#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cfgctl/CommandLine.h"
#include "cfgctl/ExitStatus.h"
#include "cfgctl/Output.h"
#include "cfgmsg/CfgAdminTypes.h"
#include "cfgmsg/LxiConfigure.h"
#include "cfgwire/CfgItemStatus.h"

namespace cfgctl {

// The requests of one cfgctl invocation: runs the command the line names
// against the server behind client, writes its output and errors, and
// returns the exit status. export is in BackupCommands, import in
// ImportCommand, watch in WatchCommand, digest in DigestCommand; check reads
// schema files and needs no server. One thread.
class Commands {
 public:
  static ExitStatus Run(qet_cfgserver::LxiConfigure& client, const CommandLine& line, Output& output);

  // The request tag the server logs for cfgctl's requests.
  static const char* const kTag;

  // The scope the names give: none, a set, a section or a key.
  static qet_cfgserver::ConfigScope ScopeOf(const std::vector<std::string>& names);

  // Reports a failed request ("cfgctl: <what>: <status label>", then
  // ": <reason>" when the server gave one, a line per line of the reason; or
  // the connection problem when this side refused to connect: "permission
  // denied: PATH", an untrusted runtime directory) and returns its exit
  // status; kDone for success, silently.
  static ExitStatus Report(const std::string& what, qet_cfgserver::CfgItemStatus::Status status,
                           const LxStatus& connectionProblem = LxStatus::Ok(), const std::string& reason = "");

  // first, then the names, as words of a message or an output line:
  // ("delete", {"network", "eth0"}) gives "delete network eth0".
  static std::string Words(const std::string& first, const std::vector<std::string>& names);

 private:
  static ExitStatus Get(qet_cfgserver::LxiConfigure& client, const std::vector<std::string>& names, Output& output);
  // confirmSeconds: roll back unless confirmed within them; 0: a plain change.
  static ExitStatus Set(qet_cfgserver::LxiConfigure& client, const std::vector<std::string>& arguments,
                        std::uint32_t confirmSeconds);
  static ExitStatus Delete(qet_cfgserver::LxiConfigure& client, const std::vector<std::string>& names,
                           std::uint32_t confirmSeconds);
  static ExitStatus List(qet_cfgserver::LxiConfigure& client, const std::vector<std::string>& names, Output& output);
  static ExitStatus Changes(qet_cfgserver::LxiConfigure& client, const std::vector<std::string>& names,
                            Output& output);
  static ExitStatus Reset(qet_cfgserver::LxiConfigure& client, const std::vector<std::string>& names,
                          std::uint32_t confirmSeconds);
  // Reads each schema file; reports every error, asks no server.
  static ExitStatus Check(const std::vector<std::string>& files);
};

}  // namespace cfgctl
