#include "cfgctl/Output.h"

#include "ini/IniField.h"

namespace cfgctl {

void Output::Write(const std::string& bytes) {
  if (!bytes.empty() && fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) failed_ = true;
}

void Output::WriteLineNow(const std::string& line) {
  Write(line + "\n");
  if (fflush(stdout) != 0) failed_ = true;
}

bool Output::Finish() {
  if (fflush(stdout) != 0 || ferror(stdout)) failed_ = true;
  return !failed_;
}

void Output::Error(const std::string& message) {
  const std::string line = "cfgctl: " + message + "\n";
  fwrite(line.data(), 1, line.size(), stderr);
  fflush(stderr);
}

std::string Output::Word(const std::string& text) {
  return qet_cfgserver::IniField::Write(text, qet_cfgserver::IniField::Place::kWord);
}

}  // namespace cfgctl
