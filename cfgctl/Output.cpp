#include "cfgctl/Output.h"

#include <time.h>

#include "ini/IniField.h"

namespace cfgctl {

namespace {

constexpr std::size_t kTimeTextBytes = sizeof "2026-12-06T15:45:00Z";

}  // namespace

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

std::string Output::Time(std::int64_t secondsSince1970) {
  const time_t when = static_cast<time_t>(secondsSince1970);
  struct tm utc;
  char text[kTimeTextBytes];
  if (gmtime_r(&when, &utc) == nullptr || strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc) == 0) return "";
  return text;
}

}  // namespace cfgctl
