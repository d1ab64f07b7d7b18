#pragma once

#include <string>

#include "cfgmsg/LxiConfigure.h"

namespace quenlo {

// Runs the configuration command that a line names. The line is split with
// LxCfgItem::IdentifyCiArgs into set, section, key and value; the first row
// that matches chooses:
//
//   set     section  key     value
//   filled  empty    -       -       ShowCfgSections(set)
//   filled  filled   empty   -       ShowCfgKeysAndValues(set, section)
//   filled  filled   filled  empty   ShowCfgValue(set, section, key)
//   filled  filled   filled  filled  ChangeCfgValue(set, section, key, value)
//   empty   -        -       -       the line, trimmed: with a comma
//                                    ShowCfgSets(), else ShowCfgSections(it)
//
// No line is rejected. Writes only what the chosen command writes.
void RunConfigCommand(qet_cfgserver::LxiConfigure& client, const std::string& line);

}  // namespace quenlo
