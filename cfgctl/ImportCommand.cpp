#include "cfgctl/ImportCommand.h"

#include <fstream>
#include <memory>
#include <sstream>

#include "cfgctl/Commands.h"
#include "cfgmsg/CfgAdmin.h"
#include "cfgwire/Messages.h"
#include "ini/IniReader.h"
#include "schema/EntryLines.h"

namespace cfgctl {

using namespace qet_cfgserver;

namespace {

// One set to import, with where its entries stand.
struct FileSet {
  std::string file;
  IniSet set;
  std::shared_ptr<EntryLines> lines;  // null for a file of several sets
};

ExitStatus ReadAll(const std::vector<std::string>& files, std::vector<FileSet>* sets) {
  for (const std::string& file : files) {
    IniContent content;
    LxStatus read = IniReader::ReadFile(file, &content);
    if (!read.ok()) {
      Output::Error(read.message());
      return kFileError;
    }
    for (const std::string& warning : content.warnings) Output::Error(warning);
    std::shared_ptr<EntryLines> lines;
    if (content.sets.size() == 1) {  // EntryLines reads the text of one set
      std::ifstream stream(file, std::ios::binary);
      std::ostringstream text;
      text << stream.rdbuf();
      lines = std::make_shared<EntryLines>(text.str());
    }
    for (IniSet& set : content.sets) sets->push_back({file, std::move(set), lines});
  }
  return kDone;
}

// "line N: " for the entry a line of the server's reason names ("[section]
// key: why"), or nothing when it cannot tell.
std::string LineOf(const FileSet& fileSet, const std::string& refusal) {
  if (!fileSet.lines) return "";
  for (const ConfigEntry& entry : fileSet.set.entries) {
    const std::string named = "[" + entry.section + "] " + entry.key + ": ";
    if (refusal.compare(0, named.size(), named) != 0) continue;
    const std::vector<std::size_t>& lines = fileSet.lines->LinesOf(entry.section, entry.key);
    return lines.empty() ? "" : "line " + std::to_string(lines.back()) + ": ";
  }
  return "";
}

void ReportRefusals(const FileSet& fileSet, const std::string& reason) {
  std::istringstream refusals(reason);
  for (std::string refusal; std::getline(refusals, refusal);)
    Output::Error(fileSet.file + ": " + LineOf(fileSet, refusal) + refusal);
}

std::string ChangeLine(const LxCfgChange& change) {
  const std::string where = Commands::Words("", {change.set, change.section, change.key});
  switch (change.kind) {
    case LxCfgChange::Kind::kAdded: return "add " + where + " = " + Output::Word(change.value) + "\n";
    case LxCfgChange::Kind::kChanged:
      return "change " + where + " = " + Output::Word(change.value) + " was " + Output::Word(change.defaultValue) +
             "\n";
    case LxCfgChange::Kind::kDeleted: return "delete " + where + " was " + Output::Word(change.defaultValue) + "\n";
  }
  return "";
}

// "import FILE: set NAME", what a failure of the set is reported as.
std::string What(const FileSet& fileSet) {
  return "import " + Output::Word(fileSet.file) + ": set " + Output::Word(fileSet.set.name);
}

// A set over what one import takes is refused here, saying so, before
// anything is sent for it.
ExitStatus CheckSize(const FileSet& fileSet) {
  std::size_t setBytes = 0;
  for (const ConfigEntry& entry : fileSet.set.entries)
    setBytes += wire::RecordWireBytes({wire::RecordKind::kValue, "", entry.section, entry.key, entry.value, ""});
  if (setBytes <= wire::kMaxSetBytes) return kDone;
  Output::Error(What(fileSet) + " is " + std::to_string(setBytes) + " bytes, larger than the " +
                std::to_string(wire::kMaxSetBytes) + " bytes one import takes");
  return kRejected;
}

// A preview or an import of fileSet that failed. A rejection without a
// reason is not the schemas': the set got past its size check here, so the
// server had no room for it.
ExitStatus ReportFailure(LxiConfigure& client, const FileSet& fileSet, CfgItemStatus::Status status) {
  const std::string reason = CfgRejectionReason(client);
  if (status != CfgItemStatus::kRejected || !reason.empty())
    return Commands::Report(What(fileSet), status, client.ConnectionProblem(), reason);
  Output::Error(What(fileSet) + ": rejected: the server has no room for it now (its client memory is full); try again");
  return kRejected;
}

}  // namespace

ExitStatus ImportCommand::Run(LxiConfigure& client, const std::vector<std::string>& files, const Options& options,
                              Output& output) {
  std::vector<FileSet> sets;
  const ExitStatus read = ReadAll(files, &sets);
  if (read != kDone) return read;
  // A set too large, or one this user may not write, stops the import
  // before anything is written, and before any schema is asked.
  for (const FileSet& fileSet : sets) {
    const ExitStatus sized = CheckSize(fileSet);
    if (sized != kDone) return sized;
    const CfgItemStatus::Status status = CheckCfgSetWritable(client, fileSet.set.name, Commands::kTag);
    if (status != CfgItemStatus::kSuccess)
      return Commands::Report("import " + Output::Word(fileSet.set.name), status, client.ConnectionProblem());
  }
  // Every set passes its schema before any is written: an import across
  // files writes all of them or none.
  bool refused = false;
  for (const FileSet& fileSet : sets) {
    std::vector<LxCfgChange> changes;
    const CfgItemStatus::Status status =
        PreviewCfgImport(client, fileSet.set.name, fileSet.set.entries, options.replace, changes, Commands::kTag);
    const std::string reason = CfgRejectionReason(client);
    if (status == CfgItemStatus::kRejected && !reason.empty()) {
      ReportRefusals(fileSet, reason);
      refused = true;
      continue;
    }
    if (status != CfgItemStatus::kSuccess) return ReportFailure(client, fileSet, status);
    if (!options.dryRun) continue;
    std::string text;
    for (const LxCfgChange& change : changes) text += ChangeLine(change);
    output.Write(text);
  }
  if (refused) return kRejected;
  if (options.dryRun) return kDone;
  for (const FileSet& fileSet : sets) {
    const CfgItemStatus::Status status =
        ImportCfgSet(client, fileSet.set.name, fileSet.set.entries, options.replace, Commands::kTag,
                     options.confirmSeconds);
    if (status != CfgItemStatus::kSuccess) return ReportFailure(client, fileSet, status);
  }
  return kDone;
}

}  // namespace cfgctl
