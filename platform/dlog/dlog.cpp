#include "dlog/dlog.h"

#include <errno.h>
#include <limits.h>
#include <pthread.h>
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

namespace {

constexpr size_t kMaxMessageBytes = 1024;
// The whole line: the message and what precedes it, the program's name
// (at most NAME_MAX bytes) among it. A line longer, for a source name
// that long, is cut; it keeps its newline.
constexpr size_t kMaxLineBytes = 2048;

// Every line, out-of-range levels included, until a tool lowers it.
std::atomic<int> maxLevelWritten{std::numeric_limits<int>::max()};

const char* LevelName(int level) {
  static const char* const kNames[] = {"EMERG", "ALERT", "CRIT", "ERROR", "WARNING", "NOTICE", "INFO", "DEBUG"};
  if (level < 0 || level > 7) return nullptr;
  return kNames[level];
}

// One line, built in place: a line costs no allocation, whatever it holds.
class LineBuilder {
 public:
  void Append(const char* text) { Append(text, strlen(text)); }
  void Append(const char* text, size_t length) {
    // The last byte is kept for the newline.
    const size_t room = sizeof line_ - 1 - used_;
    if (length > room) length = room;
    memcpy(line_ + used_, text, length);
    used_ += length;
  }
  void AppendNumber(unsigned long number, int minimumDigits = 1) {
    char digits[24];
    int count = 0;
    do {
      digits[count++] = static_cast<char>('0' + number % 10);
      number /= 10;
    } while (number > 0 || count < minimumDigits);
    while (count > 0) Append(&digits[--count], 1);
  }
  void EndLine() { line_[used_++] = '\n'; }

  const char* data() const { return line_; }
  size_t size() const { return used_; }

 private:
  char line_[kMaxLineBytes];
  size_t used_ = 0;
};

// "2026-12-05T19:13:53.123Z". The part to the second changes once a second
// and is formatted then, by each thread for itself.
void AppendTimestamp(LineBuilder* line) {
  struct SecondText {
    time_t second = -1;
    char text[64] = "";
  };
  thread_local SecondText current;
  timeval now{};
  gettimeofday(&now, nullptr);
  if (now.tv_sec != current.second) {
    tm utc{};
    gmtime_r(&now.tv_sec, &utc);
    snprintf(current.text, sizeof current.text, "%04d-%02d-%02dT%02d:%02d:%02d", utc.tm_year + 1900,
             utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    current.second = now.tv_sec;
  }
  line->Append(current.text);
  line->Append(".");
  line->AppendNumber(static_cast<unsigned long>(now.tv_usec / 1000), 3);
  line->Append("Z");
}

void AppendLevel(LineBuilder* line, int level) {
  const char* name = LevelName(level);
  if (name != nullptr) {
    line->Append(name);
    return;
  }
  line->Append("LEVEL");
  if (level < 0) line->Append("-");
  line->AppendNumber(level < 0 ? 0UL - static_cast<unsigned long>(level) : static_cast<unsigned long>(level));
}

// True when standard error is the journal's stream: systemd then sets
// $JOURNAL_STREAM to that stream's "device:inode" (systemd.exec(5)), which a
// redirection elsewhere no longer matches. Checked per line, and once for
// a held burst: cheap beside a write, and it follows a redirection made at
// run time.
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
void AppendPriorityPrefix(LineBuilder* line, int level, bool toJournal) {
  if (LevelName(level) == nullptr || !toJournal) return;
  line->Append("<");
  line->AppendNumber(static_cast<unsigned long>(level));
  line->Append(">");
}

int WriteAll(const char* bytes, size_t size) {
  size_t written = 0;
  while (written < size) {
    ssize_t result = write(STDERR_FILENO, bytes + written, size - written);
    if (result < 0 && errno == EINTR) continue;
    if (result <= 0) return -1;
    written += static_cast<size_t>(result);
  }
  return static_cast<int>(written);
}

// The lines a thread holds (__dlog_hold). The buffer is taken at the first
// hold, so threads that never hold pay nothing for it.
class HeldLines {
 public:
  // A write of at most PIPE_BUF bytes reaches a pipe whole: held lines are
  // no more at the mercy of other threads' writes than single lines are.
  static constexpr size_t kBufferBytes = PIPE_BUF;
  static_assert(kBufferBytes >= kMaxLineBytes, "a held line always fits once the buffer is written out");

  ~HeldLines() {
    WriteOut();  // a thread that ends holding loses no line
    free(bytes_);
    bytes_ = nullptr;
    holding_ = false;
  }

  bool holding() const { return holding_; }
  // Where the burst goes, asked when the hold began: its lines go out
  // together, to one place.
  bool toJournal() const { return toJournal_; }

  void Hold() {
    if (holding_) return;
    if (bytes_ == nullptr) bytes_ = static_cast<char*>(malloc(kBufferBytes));
    holding_ = bytes_ != nullptr;
    toJournal_ = holding_ && StandardErrorIsJournal();
  }

  // Returns the line's size, or -1 when writing out held lines failed.
  int Add(const LineBuilder& line) {
    int result = static_cast<int>(line.size());
    if (used_ + line.size() > kBufferBytes && WriteOut() < 0) result = -1;
    memcpy(bytes_ + used_, line.data(), line.size());
    used_ += line.size();
    return result;
  }

  int Release() {
    holding_ = false;
    return WriteOut();
  }

  // A forked child starts with no lines of its parent's.
  void Forget() { used_ = 0; }

 private:
  int WriteOut() {
    const size_t size = used_;
    used_ = 0;
    return size == 0 ? 0 : WriteAll(bytes_, size);
  }

  char* bytes_ = nullptr;
  size_t used_ = 0;
  bool holding_ = false;
  bool toJournal_ = false;
};

thread_local HeldLines heldLines;

// The process id, asked of the kernel once rather than for every line; a
// child made by fork() asks again.
std::atomic<pid_t> knownProcessId{0};

// A forked child has a process id of its own and none of its parent's lines.
void StartForkedChild() {
  knownProcessId.store(0, std::memory_order_relaxed);
  heldLines.Forget();
}

pid_t ProcessId() {
  static const int forgetInChildren = pthread_atfork(nullptr, nullptr, StartForkedChild);
  (void)forgetInChildren;
  pid_t id = knownProcessId.load(std::memory_order_relaxed);
  if (id != 0) return id;
  id = getpid();
  knownProcessId.store(id, std::memory_order_relaxed);
  return id;
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

  LineBuilder line;
  AppendPriorityPrefix(&line, level, heldLines.holding() ? heldLines.toJournal() : StandardErrorIsJournal());
  AppendTimestamp(&line);
  line.Append(" ");
  line.Append(program_invocation_short_name);
  line.Append("[");
  line.AppendNumber(static_cast<unsigned long>(ProcessId()));
  line.Append("] ");
  AppendLevel(&line, level);
  line.Append(" ");
  line.Append(source != nullptr ? source : "?");
  line.Append(": ");
  line.Append(message, used);
  line.EndLine();
  if (heldLines.holding()) return heldLines.Add(line);
  return WriteAll(line.data(), line.size());
}

void __dlog_hold() { heldLines.Hold(); }

int __dlog_release() { return heldLines.Release(); }
