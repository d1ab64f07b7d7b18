#include "cfgctl/HistoryCommands.h"

#include <algorithm>

#include "cfgctl/Commands.h"
#include "cfgctl/JsonForm.h"
#include "cfgmsg/CfgAdmin.h"
#include "cfgmsg/CfgHistory.h"

namespace cfgctl {

using namespace qet_cfgserver;

namespace {

constexpr const char* kUnknown = "?";
constexpr std::uint64_t kMaxRevisionsPerPage = kCfgMaxHistoryPage;

std::string TimeText(std::int64_t seconds) {
  const std::string time = Output::Time(seconds);
  return time.empty() ? kUnknown : time;
}

std::string KnownNumber(std::uint32_t number, std::uint32_t unknown) {
  return number == unknown ? kUnknown : std::to_string(number);
}

std::string UserText(const ChangeAuthor& author) {
  if (!author.userName.empty()) return Output::Word(author.userName);
  return KnownNumber(author.uid, ChangeAuthor::kUnknownUser);
}

std::string ProgramText(const ChangeAuthor& author) {
  return author.program.empty() ? kUnknown : Output::Word(author.program);
}

std::string EntryLine(const RevisionEntry& entry) {
  std::string line = std::to_string(entry.number) + " " + TimeText(entry.time) + " " + UserText(entry.author) + " " +
                     ProgramText(entry.author) + " " + entry.summary;
  if (entry.keys != 1) line += " (" + std::to_string(entry.keys) + " keys)";
  return line + "\n";
}

std::string ChangeLine(const KeyChange& change) {
  const std::string where = Commands::Words("", {change.set, change.section, change.key});
  if (!change.before) return "added " + where + " = " + Output::Word(*change.after) + "\n";
  if (!change.after) return "deleted " + where + " was " + Output::Word(*change.before) + "\n";
  return "changed " + where + " = " + Output::Word(*change.after) + " was " + Output::Word(*change.before) + "\n";
}


ExitStatus ReportNothingAwaits(LxiConfigure& client, const std::string& what, CfgItemStatus::Status status) {
  if (status != CfgItemStatus::kKeyNotFound)
    return Commands::Report(what, status, client.ConnectionProblem(), CfgRejectionReason(client));
  Output::Error(what + ": no change awaits confirmation");
  return kNotFound;
}

}  // namespace

bool HistoryCommands::ParseRevision(const std::string& text, std::uint64_t* revision) {
  if (text.empty()) return false;
  std::uint64_t value = 0;
  for (char digit : text) {
    if (digit < '0' || digit > '9') return false;
    const std::uint64_t next = value * 10 + static_cast<std::uint64_t>(digit - '0');
    if (next / 10 != value) return false;
    value = next;
  }
  *revision = value;
  return true;
}

ExitStatus HistoryCommands::BadRevision(const std::string& what, const std::string& text) {
  Output::Error(what + ": " + Output::Word(text) + " is not a revision number");
  return kUsage;
}


ExitStatus HistoryCommands::ReportRevision(LxiConfigure& client, const std::string& what, std::uint64_t revision,
                                           CfgItemStatus::Status status) {
  if (status != CfgItemStatus::kKeyNotFound && status != CfgItemStatus::kRejected)
    return Commands::Report(what, status, client.ConnectionProblem());
  std::uint64_t current = 0, oldest = 0;
  if (GetCfgRevision(client, current, oldest, Commands::kTag) != CfgItemStatus::kSuccess)
    return Commands::Report(what, status, client.ConnectionProblem());
  const std::string number = "revision " + std::to_string(revision);
  if (revision > current) {
    Output::Error(what + ": " + number + " is not made yet (the current one is " + std::to_string(current) + ")");
  } else if (oldest > current) {
    Output::Error(what + ": " + number + " is no longer kept (the server keeps no history)");
  } else {
    Output::Error(what + ": " + number + " is no longer kept (the oldest kept is " + std::to_string(oldest) + ")");
  }
  return kNotFound;
}


ExitStatus HistoryCommands::Revision(LxiConfigure& client, Output& output) {
  std::uint64_t current = 0, oldest = 0;
  const CfgItemStatus::Status status = GetCfgRevision(client, current, oldest, Commands::kTag);
  if (status == CfgItemStatus::kSuccess) output.Write(std::to_string(current) + "\n");
  return Commands::Report("revision", status, client.ConnectionProblem());
}

ExitStatus HistoryCommands::History(LxiConfigure& client, const std::vector<std::string>& names, std::uint32_t count,
                                    Output& output) {
  const ConfigScope scope = Commands::ScopeOf(names);
  std::uint64_t before = 0;
  JsonForm::Json revisions = JsonForm::Json::array();
  for (std::uint64_t listed = 0; count == 0 || listed < count;) {
    const std::uint64_t left = count == 0 ? kMaxRevisionsPerPage : count - listed;
    std::vector<RevisionEntry> page;
    const CfgItemStatus::Status status = GetCfgHistory(
        client, scope, before, static_cast<std::uint32_t>(std::min(left, kMaxRevisionsPerPage)), page, Commands::kTag);
    if (status != CfgItemStatus::kSuccess)
      return Commands::Report(Commands::Words("history", names), status, client.ConnectionProblem());
    for (const RevisionEntry& entry : page) {
      if (output.json()) revisions.push_back(JsonForm::Revision(entry));
      else output.Write(EntryLine(entry));
    }
    listed += page.size();
    if (page.size() < std::min(left, kMaxRevisionsPerPage) || page.back().number <= 1) break;
    before = page.back().number;
  }
  if (output.json()) output.Write(JsonForm::Document({{"revisions", revisions}}));
  return kDone;
}

ExitStatus HistoryCommands::Show(LxiConfigure& client, const std::string& text, Output& output) {
  const std::string what = "show " + text;
  std::uint64_t revision = 0;
  if (!ParseRevision(text, &revision)) return BadRevision("show", text);
  RevisionEntry entry;
  std::vector<KeyChange> changes;
  const CfgItemStatus::Status status = ShowCfgRevision(client, revision, entry, changes, Commands::kTag);
  if (status != CfgItemStatus::kSuccess) return ReportRevision(client, what, revision, status);
  if (output.json()) {
    JsonForm::Json shown = JsonForm::Revision(entry);
    shown["changes"] = JsonForm::Changes(changes);
    output.Write(JsonForm::Document(shown));
    return kDone;
  }
  const ChangeAuthor& author = entry.author;
  output.Write(EntryLine(entry));
  output.Write("client " + Output::Word(author.client) + " tag " + Output::Word(author.tag) + " uid " +
               KnownNumber(author.uid, ChangeAuthor::kUnknownUser) + " pid " +
               KnownNumber(author.pid, ChangeAuthor::kUnknownProcess) + "\n");
  for (const KeyChange& change : changes) output.Write(ChangeLine(change));
  return kDone;
}

ExitStatus HistoryCommands::Diff(LxiConfigure& client, const std::vector<std::string>& revisions, Output& output) {
  const std::string what = Commands::Words("diff", revisions);
  std::uint64_t from = 0, to = kCfgCurrentRevision;
  if (!ParseRevision(revisions[0], &from)) return BadRevision("diff", revisions[0]);
  if (revisions.size() > 1 && !ParseRevision(revisions[1], &to)) return BadRevision("diff", revisions[1]);
  // JSON names the revision "now" was, so it asks for that one by number.
  if (output.json() && to == kCfgCurrentRevision) {
    std::uint64_t oldest = 0;
    const CfgItemStatus::Status status = GetCfgRevision(client, to, oldest, Commands::kTag);
    if (status != CfgItemStatus::kSuccess) return Commands::Report(what, status, client.ConnectionProblem());
  }
  std::vector<KeyChange> changes;
  const CfgItemStatus::Status status = DiffCfgRevisions(client, from, to, changes, Commands::kTag);
  if (status != CfgItemStatus::kSuccess) {
    // The one at fault: one not made yet (the larger), else the older one.
    const bool tooNew = status == CfgItemStatus::kRejected;
    const bool second = to != kCfgCurrentRevision && (tooNew ? to > from : to < from);
    return ReportRevision(client, what, second ? to : from, status);
  }
  if (output.json()) {
    output.Write(JsonForm::Document({{"from", from}, {"to", to}, {"changes", JsonForm::Changes(changes)}}));
    return kDone;
  }
  for (const KeyChange& change : changes) output.Write(ChangeLine(change));
  return kDone;
}

ExitStatus HistoryCommands::Rollback(LxiConfigure& client, const std::string& text, std::uint32_t confirmSeconds) {
  std::uint64_t revision = 0;
  if (!ParseRevision(text, &revision)) return BadRevision("rollback", text);
  std::uint64_t made = 0;
  const CfgItemStatus::Status status = RollbackCfg(client, revision, made, Commands::kTag, confirmSeconds);
  const std::string what = "rollback " + text;
  // A rejection with a reason is the schemas' refusal of an old value.
  const std::string reason = CfgRejectionReason(client);
  if (!reason.empty()) return Commands::Report(what, status, client.ConnectionProblem(), reason);
  if (status != CfgItemStatus::kSuccess) return ReportRevision(client, what, revision, status);
  return kDone;
}

ExitStatus HistoryCommands::Confirm(LxiConfigure& client) {
  return ReportNothingAwaits(client, "confirm", ConfirmCfg(client, Commands::kTag));
}

ExitStatus HistoryCommands::Cancel(LxiConfigure& client) {
  std::uint64_t made = 0;
  return ReportNothingAwaits(client, "cancel", CancelCfg(client, made, Commands::kTag));
}

}  // namespace cfgctl
