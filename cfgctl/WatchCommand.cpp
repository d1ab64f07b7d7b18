#include "cfgctl/WatchCommand.h"

#include <signal.h>

#include <string>

#include "cfgctl/Commands.h"
#include "cfgmsg/LxCfgWatch.h"
#include "cfgwire/RuntimeDirectory.h"

namespace cfgctl {

using namespace qet_cfgserver;

namespace {

// How soon an interrupt is noticed while no change arrives.
const ACE_Time_Value kPollInterval(0, 200 * 1000);

volatile sig_atomic_t interrupted = 0;

void NoteInterrupt(int) { interrupted = 1; }

void CatchInterrupts() {
  struct sigaction action = {};
  action.sa_handler = NoteInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

std::string LineFor(const LxCfgWatch::Event& event) {
  if (event.kind == LxCfgWatch::Event::Kind::kMissed) return "missed " + std::to_string(event.missed) + " changes";
  const std::string where = Commands::Words("", {event.set, event.section, event.key});
  if (event.kind == LxCfgWatch::Event::Kind::kDeleted) return where + " deleted";
  return where + " = " + Output::Word(event.value);
}

}  // namespace

ExitStatus WatchCommand::Run(const ConfigScope& scope, Output& output) {
  CatchInterrupts();
  CfgItemStatus::Status status = CfgItemStatus::kSuccess;
  LxStatus problem;
  std::unique_ptr<LxCfgWatch> watch =
      LxCfgWatch::Open(Commands::kTag, wire::kServerEndpoint, scope, &status, &problem);
  if (watch == nullptr) return Commands::Report("watch", status, problem);
  while (!interrupted) {
    LxCfgWatch::Event event;
    status = watch->Next(&event, kPollInterval);
    if (status == CfgItemStatus::kTimeout || interrupted) continue;  // a signal cuts a wait short
    if (status != CfgItemStatus::kSuccess) return Commands::Report("watch", status);
    output.WriteLineNow(LineFor(event));
  }
  watch->Close();
  return kDone;
}

}  // namespace cfgctl
