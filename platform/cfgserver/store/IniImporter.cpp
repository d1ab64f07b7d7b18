#include "store/IniImporter.h"

#include "ini/IniField.h"
#include "ini/IniReader.h"
#include "log/ServerLog.h"
#include "store/StatusContext.h"

namespace qet_cfgserver {

LxStatus IniImporter::Import(const std::string& path, ConfigStore* store) {
  IniContent content;
  LxStatus status = IniReader::ReadFile(path, &content);
  if (!status.ok()) return status;
  for (const std::string& warning : content.warnings) __dlog_printf(kDlogWarning, kServerLogSource, "%s", warning.c_str());
  for (const IniSet& set : content.sets) {
    const ChangeNote note{ServerItself(), "defaults " + IniField::Write(set.name, IniField::Place::kWord) + " from " +
                                              IniField::Write(path, IniField::Place::kWord)};
    CommittedRevision made;
    status = store->layers().ImportDefaults(set.name, set.entries, note, &made);
    if (!status.ok()) return WithContext(path, status);
  }
  return LxStatus::Ok();
}

}  // namespace qet_cfgserver
