#include "ConsoleSession.h"

namespace quenlo_test {

ConsoleSession::ConsoleSession(const std::string& runtimeDirectory) : runtimeDirectory_(runtimeDirectory) {}

LxStatus ConsoleSession::Start() {
  ChildProcess::Options options;
  options.capture = true;
  options.environment = {"CFGSERVER_RUNTIME_DIR=" + runtimeDirectory_};
  return process_.Start(QUENLO_CLIENT_PATH, {}, options);
}

LxStatus ConsoleSession::Type(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return process_.Write(text, Duration(5000));
}

LxStatus ConsoleSession::WaitForOutput(const std::string& text, Duration timeout) {
  return process_.ReadUntil(text, timeout);
}

LxStatus ConsoleSession::WaitForExit(Duration timeout, ExitStatus* status) {
  LxStatus waited = process_.Wait(timeout, status);
  if (!waited.ok()) return waited;
  return process_.ReadToEnd(Duration(5000));
}

std::string ConsoleSession::OutputAfterBanner() const {
  const std::string::size_type end = output().find('\n');
  return end == std::string::npos ? std::string() : output().substr(end + 1);
}

std::string Exchange(const std::string& answer) { return "\n: \n" + answer + "\n"; }

}  // namespace quenlo_test
