#include "cfgctl/WatchCommand.h"

#include <signal.h>

#include <string>

#include "cfgctl/Commands.h"
#include "cfgctl/HistoryCommands.h"
#include "cfgctl/JsonForm.h"
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

// resuming: the lines of a watch --since.
std::string LineFor(const LxCfgWatch::Event& event, bool resuming) {
  if (event.kind == LxCfgWatch::Event::Kind::kMissed)
    return "missed " + std::to_string(event.missed) + (resuming ? " revisions" : " changes");
  const std::string where = Commands::Words("", {event.set, event.section, event.key});
  const std::string revision = resuming ? std::to_string(event.revision) + " " : "";
  if (event.kind == LxCfgWatch::Event::Kind::kDeleted) return revision + where + " deleted";
  return revision + where + " = " + Output::Word(event.value);
}

}  // namespace

ExitStatus WatchCommand::Run(LxiConfigure& client, const ConfigScope& scope, const std::string& since,
                             Output& output) {
  const bool resuming = !since.empty();
  std::uint64_t after = 0;
  if (resuming && !HistoryCommands::ParseRevision(since, &after)) return HistoryCommands::BadRevision("watch", since);
  CatchInterrupts();
  CfgItemStatus::Status status = CfgItemStatus::kSuccess;
  LxStatus problem;
  std::unique_ptr<LxCfgWatch> watch =
      resuming ? LxCfgWatch::OpenSince(Commands::kTag, wire::kServerEndpoint, scope, after, &status, &problem)
               : LxCfgWatch::Open(Commands::kTag, wire::kServerEndpoint, scope, &status, &problem);
  if (watch == nullptr && resuming && (status == CfgItemStatus::kKeyNotFound || status == CfgItemStatus::kRejected))
    return HistoryCommands::ReportRevision(client, "watch --since " + since, after, status);
  if (watch == nullptr) return Commands::Report("watch", status, problem);
  while (!interrupted) {
    LxCfgWatch::Event event;
    status = watch->Next(&event, kPollInterval);
    if (status == CfgItemStatus::kTimeout || interrupted) continue;  // a signal cuts a wait short
    if (status != CfgItemStatus::kSuccess) return Commands::Report("watch", status);
    output.WriteLineNow(output.json() ? JsonForm::Line(JsonForm::Event(event, resuming)) : LineFor(event, resuming));
  }
  watch->Close();
  return kDone;
}

}  // namespace cfgctl
