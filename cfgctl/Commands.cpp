#include "cfgctl/Commands.h"

#include <algorithm>
#include <list>
#include <set>
#include <sstream>

#include "cfgctl/BackupCommands.h"
#include "cfgctl/DigestCommand.h"
#include "cfgctl/HistoryCommands.h"
#include "cfgctl/ImportCommand.h"
#include "cfgctl/JsonForm.h"
#include "cfgctl/WatchCommand.h"
#include "cfgmsg/CfgAdmin.h"
#include "cfgmsg/CfgHistory.h"
#include "cfgmsg/CfgRequests.h"
#include "schema/Schema.h"

namespace cfgctl {

using namespace qet_cfgserver;

const char* const Commands::kTag = "cfgctl";

namespace {

// list's text: one name a line; a section's keys as key=value lines.
std::string NameLines(const std::set<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += name + "\n";
  return text;
}

std::string KeyLines(const std::list<LxCfgKeyValuePair>& pairs) {
  std::string text;
  for (const LxCfgKeyValuePair& pair : pairs) text += pair.GetKey() + "=" + pair.GetValue() + "\n";
  return text;
}

}  // namespace

ExitStatus Commands::Run(LxiConfigure& client, const CommandLine& line, Output& output) {
  const std::vector<std::string>& arguments = line.arguments;
  if (line.command == "get") return Get(client, arguments, output);
  if (line.command == "set") return Set(client, arguments, line.confirmSeconds);
  if (line.command == "delete") return Delete(client, arguments, line.confirmSeconds);
  if (line.command == "list") return List(client, arguments, output);
  if (line.command == "changes") return Changes(client, arguments, output);
  if (line.command == "reset") return Reset(client, arguments, line.confirmSeconds);
  if (line.command == "export") return BackupCommands::Export(client, arguments, line.directory, output);
  if (line.command == "import")
    return ImportCommand::Run(client, arguments, {line.replace, line.dryRun, line.confirmSeconds}, output);
  if (line.command == "watch") return WatchCommand::Run(client, ScopeOf(arguments), line.since, output);
  if (line.command == "check") return Check(arguments);
  if (line.command == "digest") return DigestCommand::Run(client, arguments, output);
  if (line.command == "revision") return HistoryCommands::Revision(client, output);
  if (line.command == "history") return HistoryCommands::History(client, arguments, line.count, output);
  if (line.command == "show") return HistoryCommands::Show(client, arguments[0], output);
  if (line.command == "diff") return HistoryCommands::Diff(client, arguments, output);
  if (line.command == "rollback") return HistoryCommands::Rollback(client, arguments[0], line.confirmSeconds);
  if (line.command == "confirm") return HistoryCommands::Confirm(client);
  if (line.command == "cancel") return HistoryCommands::Cancel(client);
  Output::Error("unknown command " + Output::Word(line.command));
  return kUsage;
}

ConfigScope Commands::ScopeOf(const std::vector<std::string>& names) {
  static const ConfigScope::Level kLevels[] = {ConfigScope::Level::kAll, ConfigScope::Level::kSet,
                                              ConfigScope::Level::kSection, ConfigScope::Level::kKey};
  ConfigScope scope;
  scope.level = kLevels[names.size() < 4 ? names.size() : 3];
  if (names.size() > 0) scope.set = names[0];
  if (names.size() > 1) scope.section = names[1];
  if (names.size() > 2) scope.key = names[2];
  return scope;
}

ExitStatus Commands::Report(const std::string& what, CfgItemStatus::Status status, const LxStatus& connectionProblem,
                            const std::string& reason) {
  if (status == CfgItemStatus::kSuccess) return kDone;
  if (!connectionProblem.ok()) {
    Output::Error(what + ": " + connectionProblem.message());
    return ExitStatusFor(status);
  }
  const std::string failed = what + ": " + CfgItemStatus::LxCfgItemStatus::GetLabel(status);
  if (reason.empty()) Output::Error(failed);
  std::istringstream lines(reason);
  for (std::string line; std::getline(lines, line);) Output::Error(failed + ": " + line);
  return ExitStatusFor(status);
}

std::string Commands::Words(const std::string& first, const std::vector<std::string>& names) {
  std::string words = first;
  for (const std::string& name : names) words += (words.empty() ? "" : " ") + Output::Word(name);
  return words;
}

ExitStatus Commands::Get(LxiConfigure& client, const std::vector<std::string>& names, Output& output) {
  std::string value;
  const CfgItemStatus::Status status =
      GetCfgValue(client, names[0], names[1], names[2], value, kTag, CfgItemCommand::kGet);
  if (status == CfgItemStatus::kSuccess)
    output.Write(output.json() ? JsonForm::Document(JsonForm::Value(names[0], names[1], names[2], value))
                               : value + "\n");
  return Report(Words("get", names), status, client.ConnectionProblem());
}

ExitStatus Commands::Set(LxiConfigure& client, const std::vector<std::string>& arguments, std::uint32_t confirmSeconds) {
  const CfgItemStatus::Status status =
      confirmSeconds == 0
          ? SetCfgValueChecked(client, arguments[0], arguments[1], arguments[2], arguments[3], kTag)
          : SetCfgValueToConfirm(client, arguments[0], arguments[1], arguments[2], arguments[3], confirmSeconds, kTag);
  return Report(Words("set", {arguments[0], arguments[1], arguments[2]}), status, client.ConnectionProblem(),
                CfgRejectionReason(client));
}

ExitStatus Commands::Delete(LxiConfigure& client, const std::vector<std::string>& names, std::uint32_t confirmSeconds) {
  const CfgItemStatus::Status status = DeleteCfg(client, ScopeOf(names), kTag, confirmSeconds);
  if (status == CfgItemStatus::kKeyNotFound) {
    Output::Error(Words("delete", names) + ": nothing to delete");
    return kNotFound;
  }
  return Report(Words("delete", names), status, client.ConnectionProblem());
}

ExitStatus Commands::List(LxiConfigure& client, const std::vector<std::string>& names, Output& output) {
  CfgItemStatus::Status status;
  std::string text;
  if (names.size() == 2) {
    std::list<LxCfgKeyValuePair> pairs;
    status = GetCfgKeysAndValues(client, names[0], names[1], pairs, kTag);
    text = output.json() ? JsonForm::Document(JsonForm::List(names, pairs)) : KeyLines(pairs);
  } else {
    std::set<std::string> found;
    status = names.empty() ? GetCfgSets(client, found, kTag) : GetCfgSections(client, names[0], found, kTag);
    text = output.json() ? JsonForm::Document(JsonForm::List(names, found)) : NameLines(found);
  }
  // A JSON document only when whole.
  if (status == CfgItemStatus::kSuccess || !output.json()) output.Write(text);
  return Report(Words("list", names), status, client.ConnectionProblem());
}

ExitStatus Commands::Changes(LxiConfigure& client, const std::vector<std::string>& names, Output& output) {
  std::vector<LxCfgChange> changes;
  const CfgItemStatus::Status status = GetCfgChanges(client, ScopeOf(names), changes, kTag);
  if (output.json()) {
    if (status == CfgItemStatus::kSuccess) output.Write(JsonForm::Document({{"changes", JsonForm::Changes(changes)}}));
    return Report(Words("changes", names), status, client.ConnectionProblem());
  }
  for (const LxCfgChange& change : changes) {
    const std::string where = Words("", {change.set, change.section, change.key});
    switch (change.kind) {
      case LxCfgChange::Kind::kAdded:
        output.Write("added " + where + " = " + Output::Word(change.value) + "\n");
        break;
      case LxCfgChange::Kind::kChanged:
        output.Write("changed " + where + " = " + Output::Word(change.value) + " was " +
                     Output::Word(change.defaultValue) + "\n");
        break;
      case LxCfgChange::Kind::kDeleted:
        output.Write("deleted " + where + " was " + Output::Word(change.defaultValue) + "\n");
        break;
    }
  }
  return Report(Words("changes", names), status, client.ConnectionProblem());
}

ExitStatus Commands::Reset(LxiConfigure& client, const std::vector<std::string>& names, std::uint32_t confirmSeconds) {
  const CfgItemStatus::Status status = ResetCfg(client, ScopeOf(names), kTag, confirmSeconds);
  return Report(Words("reset", names), status, client.ConnectionProblem(), CfgRejectionReason(client));
}

ExitStatus Commands::Check(const std::vector<std::string>& files) {
  ExitStatus result = kDone;
  for (const std::string& file : files) {
    Schema schema;
    const LxStatus status = Schema::ReadFile(file, &schema);
    if (status.ok()) continue;
    // One error of the file per line of the message.
    const std::string& errors = status.message();
    for (std::size_t start = 0; start < errors.size();) {
      const std::size_t end = std::min(errors.find('\n', start), errors.size());
      Output::Error(errors.substr(start, end - start));
      start = end + 1;
    }
    result = kFileError;
  }
  return result;
}

}  // namespace cfgctl
