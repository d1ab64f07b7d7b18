// How long a program takes to start, and what memory it holds then.
//
//   startup prompt COUNT PROGRAM [ARGUMENTS...]   exec to the first prompt
//   startup exit COUNT PROGRAM [ARGUMENTS...]     exec to exit
//
// "prompt" starts the program with a pipe as standard input and waits for
// ": " on its standard output after the first line (the console's banner),
// reads its resident memory there and kills it. "exit" waits for the
// program to end and reads its peak resident memory. Both print
// "MEDIAN P99 KIB": microseconds of COUNT runs and the memory of the last.
// A run that takes over kDeadlineSeconds fails.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "bench/Measure.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDeadlineSeconds = 10;
constexpr const char* kPrompt = ": ";

long residentKib = 0;

// The VmRSS line of /proc/PID/status, in KiB; 0 when unreadable.
long ResidentKib(pid_t process) {
  std::ifstream status("/proc/" + std::to_string(process) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.compare(0, 6, "VmRSS:") == 0) return std::stol(line.substr(6));
  return 0;
}

// Starts program with stdin and stdout as given and stderr to /dev/null.
pid_t Spawn(char* program[], int input, int output) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t process = -1;
  if (posix_spawn(&process, program[0], &actions, nullptr, program, environ) != 0) process = -1;
  posix_spawn_file_actions_destroy(&actions);
  return process;
}

// Reads output until the text after its first line holds the prompt.
bool AwaitPrompt(int output) {
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(kDeadlineSeconds);
  std::string seen;
  for (;;) {
    const std::string::size_type firstLineEnd = seen.find('\n');
    if (firstLineEnd != std::string::npos && seen.find(kPrompt, firstLineEnd) != std::string::npos) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd readable{output, POLLIN, 0};
    if (left <= 0 || poll(&readable, 1, static_cast<int>(left)) != 1) return false;
    char bytes[256];
    const ssize_t got = read(output, bytes, sizeof bytes);
    if (got <= 0) return false;
    seen.append(bytes, static_cast<std::size_t>(got));
  }
}

bool RunToPrompt(char* program[]) {
  int input[2];
  int output[2];
  if (pipe2(input, O_CLOEXEC) != 0) return false;
  if (pipe2(output, O_CLOEXEC) != 0) return false;
  const pid_t process = Spawn(program, input[0], output[1]);
  close(input[0]);
  close(output[1]);
  const bool prompted = process > 0 && AwaitPrompt(output[0]);
  if (prompted) residentKib = ResidentKib(process);
  if (process > 0) {
    kill(process, SIGKILL);
    waitpid(process, nullptr, 0);
  }
  close(input[1]);
  close(output[0]);
  return prompted;
}

bool RunToExit(char* program[]) {
  const int nothing = open("/dev/null", O_RDWR | O_CLOEXEC);
  const pid_t process = Spawn(program, nothing, nothing);
  close(nothing);
  if (process <= 0) return false;
  // The program is trusted to end (a hello world); the deadline is the
  // script's timeout.
  int status = 0;
  rusage usage{};
  if (wait4(process, &status, 0, &usage) != process) return false;
  residentKib = usage.ru_maxrss;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  const int count = argc > 3 ? bench::PositiveNumber(argv[2]) : 0;
  const std::string mode = argc > 1 ? argv[1] : "";
  if (count == 0 || (mode != "prompt" && mode != "exit")) {
    std::fprintf(stderr, "usage: startup prompt|exit COUNT PROGRAM [ARGUMENTS...]\n");
    return 2;
  }
  char** program = argv + 3;
  bench::Latency latency;
  const bool ok = bench::MeasureLatency(argv[1], count, [&] {
    return mode == "prompt" ? RunToPrompt(program) : RunToExit(program);
  }, &latency);
  if (!ok) return 1;
  std::printf("%.1f %.1f %ld\n", latency.medianMicroseconds, latency.percentile99Microseconds, residentKib);
  return 0;
}
