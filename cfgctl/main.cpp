// cfgctl: one request to the configuration server per call, for operators'
// scripts and backups beside the console. See CommandLine::HelpText().

#include <signal.h>

#include "cfgctl/CommandLine.h"
#include "cfgctl/Commands.h"
#include "cfgmsg/CfgRequests.h"
#include "cfgwire/RuntimeDirectory.h"
#include "dlog/dlog.h"

namespace {

constexpr const char* kClientName = "cfgctl";

}  // namespace

int main(int argc, char** argv) {
  using namespace cfgctl;
  CommandLine line;
  LxStatus parsed = CommandLine::Parse(argc, argv, &line);
  if (!parsed.ok()) {
    Output::Error(parsed.message());
    return kUsage;
  }
  Output output(line.json ? Output::Form::kJson : Output::Form::kText);
  if (line.command == "help") {
    output.Write(CommandLine::HelpText());
    return output.Finish() ? kDone : kFileError;
  }
  // cfgctl's own error line says what failed; the library's warnings would
  // make it two.
  __dlog_set_max_level(kDlogError);
  qet_cfgserver::LxiConfigure* client = qet_cfgserver::CreateIpcClient(kClientName, qet_cfgserver::wire::kServerEndpoint);
  ExitStatus status = Commands::Run(*client, line, output);
  if (!output.Finish()) {
    Output::Error("cannot write standard output");
    if (status == kDone) status = kFileError;
  }
  client->Release();
  return status;
}
