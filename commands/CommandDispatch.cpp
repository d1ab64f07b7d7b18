#include "commands/CommandDispatch.h"

#include "cfgmsg/LxCfgItem.h"
#include "cfgmsg/LxCfgUtil.h"
#include "commands/ConfigCommands.h"

namespace quenlo {

namespace {

void RunWithoutSet(qet_cfgserver::LxiConfigure& client, const std::string& line) {
  std::string trimmed = line;
  qet_cfgserver::LxCfgUtil::TrimSpaces(trimmed);
  if (trimmed.find(',') != std::string::npos) {
    ShowCfgSets(client);
    return;
  }
  ShowCfgSections(client, trimmed);
}

}  // namespace

void RunConfigCommand(qet_cfgserver::LxiConfigure& client, const std::string& line) {
  std::string set, section, key, value;
  qet_cfgserver::LxCfgItem::IdentifyCiArgs(line, set, section, key, value);
  if (set.empty()) {
    RunWithoutSet(client, line);
  } else if (section.empty()) {
    ShowCfgSections(client, set);
  } else if (key.empty()) {
    ShowCfgKeysAndValues(client, set, section);
  } else if (value.empty()) {
    ShowCfgValue(client, set, section, key);
  } else {
    ChangeCfgValue(client, set, section, key, value);
  }
}

}  // namespace quenlo
