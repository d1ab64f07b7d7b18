#include "commands/HandleLine.h"

#include <iostream>

#include "app/LxCfgClientApp.h"
#include "commands/CommandDispatch.h"
#include "commands/ShowHelp.h"

namespace quenlo {

namespace {

bool IsQuit(const std::string& line) { return line == "q" || line == "Q" || line == "x" || line == "X"; }

bool IsHelp(const std::string& line) { return line == "?" || line == "h" || line == "H"; }

}  // namespace

std::int32_t HandleLine(std::int32_t state, std::string line) {
  if (line.empty()) return state;
  LxCfgClientApp* const app = LxCfgClientApp::Instance();
  if (IsQuit(line)) {
    app->GetPrompter().Stop();
    app->Stop();
    std::cout << std::endl;
    return LxLinePrompter::kStateStopped;
  }
  if (IsHelp(line)) {
    ShowHelp();
    std::cout << std::endl;
    return LxLinePrompter::kStatePrompting;
  }
  qet_cfgserver::LxiConfigure& client = *app->GetClient();
  std::cout << std::endl;
  RunConfigCommand(client, line);
  std::cout << std::endl;
  return LxLinePrompter::kStatePrompting;
}

}  // namespace quenlo
