#include "dlog/dlog.h"

#include <errno.h>
#include <stdarg.h>
#include <stdlib.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <limits>
#include <string>

namespace {

constexpr size_t kMaxMessageBytes = 1024;

// Every line, out-of-range levels included, until a tool lowers it.
std::atomic<int> maxLevelWritten{std::numeric_limits<int>::max()};

const char* LevelName(int level) {
  static const char* const kNames[] = {"EMERG", "ALERT", "CRIT", "ERROR", "WARNING", "NOTICE", "INFO", "DEBUG"};
  if (level < 0 || level > 7) return nullptr;
  return kNames[level];
}

std::string Timestamp() {
  timeval now{};
  gettimeofday(&now, nullptr);
  tm utc{};
  time_t seconds = now.tv_sec;
  gmtime_r(&seconds, &utc);
  char text[64];
  snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
           utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(now.tv_usec / 1000));
  return text;
}

std::string LevelText(int level) {
  const char* name = LevelName(level);
  return name != nullptr ? name : "LEVEL" + std::to_string(level);
}

// True when standard error is the journal's stream: systemd then sets
// $JOURNAL_STREAM to that stream's "device:inode" (systemd.exec(5)), which a
// redirection elsewhere no longer matches. Checked per line: cheap beside the
// write, and it follows a redirection made at run time.
bool StandardErrorIsJournal() {
  const char* stream = getenv("JOURNAL_STREAM");
  if (stream == nullptr) return false;
  unsigned long long device = 0, inode = 0;
  if (sscanf(stream, "%llu:%llu", &device, &inode) != 2) return false;
  struct stat status {};
  if (fstat(STDERR_FILENO, &status) != 0) return false;
  return static_cast<unsigned long long>(status.st_dev) == device &&
         static_cast<unsigned long long>(status.st_ino) == inode;
}

// "<N>" for the journal, which reads it as the line's syslog priority
// (sd-daemon(3)) and strips it; nothing elsewhere, or for a level out of
// range (the journal's default priority then applies).
std::string PriorityPrefix(int level) {
  if (LevelName(level) == nullptr || !StandardErrorIsJournal()) return std::string();
  return "<" + std::to_string(level) + ">";
}

int WriteAll(const std::string& line) {
  size_t written = 0;
  while (written < line.size()) {
    ssize_t result = write(STDERR_FILENO, line.data() + written, line.size() - written);
    if (result < 0 && errno == EINTR) continue;
    if (result <= 0) return -1;
    written += static_cast<size_t>(result);
  }
  return static_cast<int>(written);
}

}  // namespace

void __dlog_set_max_level(int maxLevel) { maxLevelWritten.store(maxLevel); }

int __dlog_printf(int level, const char* source, const char* format, ...) {
  if (level > maxLevelWritten.load()) return 0;
  char message[kMaxMessageBytes];
  va_list arguments;
  va_start(arguments, format);
  message[0] = '\0';
  int length = format != nullptr ? vsnprintf(message, sizeof message, format, arguments) : 0;
  va_end(arguments);
  if (length < 0) return -1;
  size_t used = strlen(message);
  while (used > 0 && message[used - 1] == '\n') message[--used] = '\0';

  std::string line = PriorityPrefix(level) + Timestamp() + " " + program_invocation_short_name + "[" +
                     std::to_string(getpid()) + "] " + LevelText(level) + " " + (source != nullptr ? source : "?") + ": " + message + "\n";
  return WriteAll(line);
}
