#include "cfgctl/BackupCommands.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <fstream>
#include <set>

#include "cfgctl/Commands.h"
#include "cfgmsg/CfgAdmin.h"
#include "cfgmsg/CfgRequests.h"
#include "cfgwire/Messages.h"
#include "ini/IniReader.h"
#include "ini/IniWriter.h"
#include "ini/SetFileName.h"

namespace cfgctl {

using namespace qet_cfgserver;

namespace {

// Imports set, read from file. A set over what one import takes is refused
// here, saying so, before anything is sent; a refusal after that is the
// server's, which had no room for it. confirmSeconds: as ImportCfgSet's.
ExitStatus ImportSet(LxiConfigure& client, const std::string& file, const IniSet& set, bool replace,
                     std::uint32_t confirmSeconds) {
  const std::string what = "import " + Output::Word(file) + ": set " + Output::Word(set.name);
  std::size_t setBytes = 0;
  for (const ConfigEntry& entry : set.entries)
    setBytes += wire::RecordWireBytes({wire::RecordKind::kValue, "", entry.section, entry.key, entry.value, ""});
  if (setBytes > wire::kMaxSetBytes) {
    Output::Error(what + " is " + std::to_string(setBytes) + " bytes, larger than the " +
                  std::to_string(wire::kMaxSetBytes) + " bytes one import takes");
    return kRejected;
  }
  const CfgItemStatus::Status status = ImportCfgSet(client, set.name, set.entries, replace, Commands::kTag, confirmSeconds);
  if (status != CfgItemStatus::kRejected) return Commands::Report(what, status, client.ConnectionProblem());
  Output::Error(what + ": rejected: the server has no room for it now (its client memory is full); try again");
  return kRejected;
}

ExitStatus FileError(const std::string& message) {
  Output::Error(message);
  return kFileError;
}

// Writes text to path whole or not at all: a temporary file, then rename.
ExitStatus WriteFileWhole(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".partial";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.flush();
    if (!file) {
      const int error = errno;
      remove(temporary.c_str());
      return FileError("cannot write " + temporary + ": " + strerror(error));
    }
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    remove(temporary.c_str());
    return FileError("cannot write " + path + ": " + strerror(error));
  }
  return kDone;
}

}  // namespace

ExitStatus BackupCommands::Export(LxiConfigure& client, const std::vector<std::string>& sets,
                                  const std::string& directory, Output& output) {
  std::vector<std::string> names = sets;
  if (names.empty()) {
    std::set<std::string> all;
    const CfgItemStatus::Status status = GetCfgSets(client, all, Commands::kTag);
    if (status != CfgItemStatus::kSuccess) return Commands::Report("export", status, client.ConnectionProblem());
    names.assign(all.begin(), all.end());
  }
  if (!directory.empty() && mkdir(directory.c_str(), 0777) != 0 && errno != EEXIST)
    return FileError("cannot make " + directory + ": " + strerror(errno));

  ExitStatus result = kDone;
  bool first = true;
  for (const std::string& set : names) {
    std::vector<ConfigEntry> entries;
    const CfgItemStatus::Status status = ExportCfgSet(client, set, entries, Commands::kTag);
    if (status == CfgItemStatus::kRejected) {
      Output::Error("export " + Output::Word(set) + ": set " + Output::Word(set) + " is larger than the " +
                    std::to_string(wire::kMaxSetBytes) + " bytes an import takes back");
      return kRejected;
    }
    if (status != CfgItemStatus::kSuccess)
      return Commands::Report("export " + Output::Word(set), status, client.ConnectionProblem());
    if (entries.empty()) {
      Output::Error("export " + Output::Word(set) + ": no such set");
      result = kNotFound;
      continue;
    }
    const std::string text = IniWriter::WriteSet(set, entries);
    if (directory.empty()) {
      output.Write(first ? text : "\n" + text);
      first = false;
      continue;
    }
    const ExitStatus written = WriteFileWhole(directory + "/" + SetFileName::FileNameFor(set), text);
    if (written != kDone) return written;
  }
  return result;
}

ExitStatus BackupCommands::Import(LxiConfigure& client, const std::vector<std::string>& files, bool replace,
                                  std::uint32_t confirmSeconds) {
  std::vector<IniSet> sets;
  std::vector<std::string> fileOf;  // of each set
  for (const std::string& file : files) {
    IniContent content;
    LxStatus read = IniReader::ReadFile(file, &content);
    if (!read.ok()) return FileError(read.message());
    for (const std::string& warning : content.warnings) Output::Error(warning);
    sets.insert(sets.end(), content.sets.begin(), content.sets.end());
    fileOf.resize(sets.size(), file);
  }
  // A set this user may not write stops the import before anything is written.
  for (const IniSet& set : sets) {
    const CfgItemStatus::Status status = CheckCfgSetWritable(client, set.name, Commands::kTag);
    if (status != CfgItemStatus::kSuccess)
      return Commands::Report("import " + Output::Word(set.name), status, client.ConnectionProblem());
  }
  for (std::size_t index = 0; index < sets.size(); ++index) {
    const ExitStatus status = ImportSet(client, fileOf[index], sets[index], replace, confirmSeconds);
    if (status != kDone) return status;
  }
  return kDone;
}

}  // namespace cfgctl
