#pragma once

#include <cstdint>
#include <string>

namespace quenlo {

// The application's line handler (a LineHandler for LxLinePrompter), run on
// the prompter thread once per input line. The whole line is compared, case
// as written, nothing trimmed:
//
//   ""                 nothing written; returns state unchanged
//   "q" "Q" "x" "X"    stops the prompter and the application, writes a
//                      newline, returns 0
//   "?" "h" "H"        the help text, a newline; returns 2
//   anything else      a newline, the configuration command the line names
//                      (RunConfigCommand), a newline; returns 2
//
// Reaches the prompter and the client handle through
// LxCfgClientApp::Instance().
std::int32_t HandleLine(std::int32_t state, std::string line);

}  // namespace quenlo
