#pragma once

#include <string>
#include <vector>

#include "ChildProcess.h"
#include "LxStatus.h"
#include "ServerProcess.h"
#include "TemporaryDirectory.h"

namespace quenlo_test {

// A real quenlo on pipes, pointed at a runtime directory of its own, for
// end-to-end tests. Standard input stays open until CloseInput(), as a
// terminal's would. Not thread-safe.
class ConsoleSession {
 public:
  // Time the console takes per handled line: the prompter's pause, plus
  // slack for slow (emulated) machines.
  static constexpr Duration kPerLine{2500};

  explicit ConsoleSession(const std::string& runtimeDirectory);

  LxStatus Start();
  // Types lines, each followed by a newline.
  LxStatus Type(const std::vector<std::string>& lines);
  LxStatus WaitForOutput(const std::string& text, Duration timeout);
  LxStatus WaitForExit(Duration timeout, ExitStatus* status);

  ChildProcess& process() { return process_; }
  const std::string& output() const { return process_.output(); }
  const std::string& errors() const { return process_.errors(); }

  // Standard output without its first line, the build banner.
  std::string OutputAfterBanner() const;

 private:
  std::string runtimeDirectory_;
  ChildProcess process_;
};

// The bytes the console writes for one handled line: the prompt, then the
// handler's framing newlines around answer.
std::string Exchange(const std::string& answer);

}  // namespace quenlo_test
