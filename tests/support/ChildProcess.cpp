#include "ChildProcess.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

extern char** environ;

#ifndef QUENLO_CHILD_EMULATOR
#define QUENLO_CHILD_EMULATOR ""
#endif

namespace quenlo_test {

namespace {

using Clock = std::chrono::steady_clock;

// Wait() looks at the child this often while it drains the pipes.
constexpr Duration kReapInterval(20);
constexpr std::size_t kReadChunkBytes = 64 * 1024;

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  while (start <= text.size()) {
    std::string::size_type end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    if (end > start) parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string VariableName(const std::string& entry) { return entry.substr(0, entry.find('=')); }

// The inherited environment with the extra entries replacing same-named ones.
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
  std::vector<std::string> merged;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string name = VariableName(*entry);
    const bool replaced = std::any_of(extra.begin(), extra.end(),
                                      [&](const std::string& candidate) { return VariableName(candidate) == name; });
    if (!replaced) merged.push_back(*entry);
  }
  merged.insert(merged.end(), extra.begin(), extra.end());
  return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& text : strings) pointers.push_back(&text[0]);
  pointers.push_back(nullptr);
  return pointers;
}

void CloseDescriptor(int* descriptor) {
  if (*descriptor >= 0) close(*descriptor);
  *descriptor = -1;
}

ExitStatus Decode(int waitStatus) {
  ExitStatus status;
  if (WIFEXITED(waitStatus)) {
    status.exited = true;
    status.code = WEXITSTATUS(waitStatus);
  } else if (WIFSIGNALED(waitStatus)) {
    status.signal = WTERMSIG(waitStatus);
  }
  return status;
}

int MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<Duration>(deadline - Clock::now()).count();
  return static_cast<int>(std::max<long long>(0, left));
}

// A pipe pair whose ends are closed on exec, so other children never hold them.
LxStatus MakePipe(int ends[2]) {
  if (pipe2(ends, O_CLOEXEC) != 0) return LxStatus::IoError(std::string("pipe2: ") + strerror(errno));
  return LxStatus::Ok();
}

// Writes without letting SIGPIPE kill the test when the child closed its
// stdin: the signal is blocked for this thread and a pending one discarded.
ssize_t WriteWithoutSigpipe(int descriptor, const char* bytes, std::size_t count) {
  sigset_t pipeSignal;
  sigset_t previous;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
  ssize_t written = write(descriptor, bytes, count);
  const int writeError = errno;
  if (written < 0 && writeError == EPIPE) {
    const timespec noWait{0, 0};
    sigtimedwait(&pipeSignal, nullptr, &noWait);
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = writeError;
  return written;
}

}  // namespace

std::string ExitStatus::ToString() const {
  return exited ? "exit " + std::to_string(code) : "signal " + std::to_string(signal);
}

std::vector<std::string> ChildEmulator() { return Split(QUENLO_CHILD_EMULATOR, ';'); }

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    int waitStatus = 0;
    while (waitpid(pid_, &waitStatus, 0) < 0 && errno == EINTR) {
    }
  }
  CloseAll();
}

LxStatus ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                             const Options& options) {
  if (pid_ > 0) return LxStatus::InvalidArgument("a child is already running");
  CloseAll();
  output_.clear();
  errors_.clear();
  pendingInput_.clear();

  std::vector<std::string> argv = ChildEmulator();
  argv.push_back(program);
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<std::string> environment = MergedEnvironment(options.environment);

  int inputEnds[2] = {-1, -1}, outputEnds[2] = {-1, -1}, errorEnds[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  LxStatus status;
  if (options.capture) {
    for (int* ends : {inputEnds, outputEnds, errorEnds})
      if (status.ok()) status = MakePipe(ends);
    posix_spawn_file_actions_adddup2(&actions, inputEnds[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outputEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errorEnds[1], STDERR_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }

  // The child starts with default signal handling and nothing blocked, even
  // when the test ignores or blocks signals itself.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all;
  sigset_t none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  if (status.ok()) {
    std::vector<char*> argvPointers = Pointers(argv);
    std::vector<char*> environmentPointers = Pointers(environment);
    pid_t pid = -1;
    const int error =
        posix_spawnp(&pid, argvPointers[0], &actions, &attributes, argvPointers.data(), environmentPointers.data());
    if (error != 0)
      status = LxStatus::IoError("cannot start " + argv[0] + ": " + strerror(error));
    else
      pid_ = pid;
  }
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);

  CloseDescriptor(&inputEnds[0]);
  CloseDescriptor(&outputEnds[1]);
  CloseDescriptor(&errorEnds[1]);
  input_ = inputEnds[1];
  outputPipe_ = outputEnds[0];
  errorPipe_ = errorEnds[0];
  for (int descriptor : {input_, outputPipe_, errorPipe_})
    if (descriptor >= 0) fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) | O_NONBLOCK);
  if (!status.ok()) CloseAll();
  return status;
}

LxStatus ChildProcess::Write(const std::string& bytes, Duration timeout) {
  if (input_ < 0) return LxStatus::InvalidArgument("the child's stdin is not an open pipe");
  pendingInput_ += bytes;
  const Clock::time_point deadline = Clock::now() + timeout;
  for (;;) {
    if (input_ < 0) return LxStatus::IoError("the child closed its stdin");
    if (pendingInput_.empty()) return LxStatus::Ok();
    if (Clock::now() >= deadline) return LxStatus::TimedOut("the child does not read its stdin");
    Pump(deadline);
  }
}

void ChildProcess::CloseInput() {
  pendingInput_.clear();
  CloseDescriptor(&input_);
}

LxStatus ChildProcess::ReadUntil(const std::string& text, Duration timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (output_.find(text) == std::string::npos) {
    if (outputPipe_ < 0) return LxStatus::NotFound("stdout ended without '" + text + "'");
    if (Clock::now() >= deadline) return LxStatus::TimedOut("no '" + text + "' on stdout in time");
    Pump(deadline);
  }
  return LxStatus::Ok();
}

LxStatus ChildProcess::ReadToEnd(Duration timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (outputPipe_ >= 0 || errorPipe_ >= 0) {
    if (Clock::now() >= deadline) return LxStatus::TimedOut("the child's output did not end in time");
    Pump(deadline);
  }
  return LxStatus::Ok();
}

LxStatus ChildProcess::Signal(int signal) {
  if (pid_ <= 0) return LxStatus::InvalidArgument("no child is running");
  if (kill(pid_, signal) != 0) return LxStatus::IoError(std::string("kill: ") + strerror(errno));
  return LxStatus::Ok();
}

bool ChildProcess::Exited(ExitStatus* status) {
  if (pid_ <= 0) return true;
  int waitStatus = 0;
  const pid_t result = waitpid(pid_, &waitStatus, WNOHANG);
  if (result == 0) return false;
  if (result == pid_) *status = Decode(waitStatus);
  pid_ = -1;
  return true;
}

LxStatus ChildProcess::Wait(Duration timeout, ExitStatus* status) {
  if (pid_ <= 0) return LxStatus::InvalidArgument("no child is running");
  const Clock::time_point deadline = Clock::now() + timeout;
  while (!Exited(status)) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return LxStatus::TimedOut("the child did not end in time");
    Pump(std::min(deadline, now + kReapInterval));
  }
  return LxStatus::Ok();
}

void ChildProcess::Pump(Clock::time_point deadline) {
  pollfd watched[3];
  nfds_t count = 0;
  if (input_ >= 0 && !pendingInput_.empty()) watched[count++] = {input_, POLLOUT, 0};
  if (outputPipe_ >= 0) watched[count++] = {outputPipe_, POLLIN, 0};
  if (errorPipe_ >= 0) watched[count++] = {errorPipe_, POLLIN, 0};
  if (count == 0) {
    std::this_thread::sleep_until(deadline);
    return;
  }
  if (poll(watched, count, MillisecondsUntil(deadline)) <= 0) return;
  for (nfds_t index = 0; index < count; ++index) {
    if (watched[index].revents == 0) continue;
    const int descriptor = watched[index].fd;
    if (descriptor == outputPipe_) ReadFrom(&outputPipe_, &output_);
    else if (descriptor == errorPipe_) ReadFrom(&errorPipe_, &errors_);
    else if (descriptor == input_) {
      const ssize_t written = WriteWithoutSigpipe(input_, pendingInput_.data(), pendingInput_.size());
      if (written > 0) pendingInput_.erase(0, static_cast<std::size_t>(written));
      else if (written < 0 && errno != EAGAIN && errno != EINTR) CloseInput();
    }
  }
}

void ChildProcess::ReadFrom(int* descriptor, std::string* sink) {
  char chunk[kReadChunkBytes];
  const ssize_t received = read(*descriptor, chunk, sizeof chunk);
  if (received > 0) sink->append(chunk, static_cast<std::size_t>(received));
  else if (received == 0 || (errno != EAGAIN && errno != EINTR)) CloseDescriptor(descriptor);
}

void ChildProcess::CloseAll() {
  CloseDescriptor(&input_);
  CloseDescriptor(&outputPipe_);
  CloseDescriptor(&errorPipe_);
}

}  // namespace quenlo_test
