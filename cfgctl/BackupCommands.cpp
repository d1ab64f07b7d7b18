#include "cfgctl/BackupCommands.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <fstream>
#include <set>

#include "cfgctl/Commands.h"
#include "cfgctl/JsonForm.h"
#include "cfgmsg/CfgAdmin.h"
#include "cfgmsg/CfgRequests.h"
#include "cfgwire/Messages.h"
#include "ini/IniWriter.h"
#include "ini/SetFileName.h"

namespace cfgctl {

using namespace qet_cfgserver;

namespace {

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
  JsonForm::Json exported = JsonForm::Json::array();
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
    if (output.json()) {
      exported.push_back(JsonForm::Set(set, entries));
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
  if (output.json()) output.Write(JsonForm::Document({{"sets", exported}}));
  return result;
}

}  // namespace cfgctl
