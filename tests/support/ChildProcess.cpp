#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#ifndef QUENLO_CHILD_EMULATOR
#define QUENLO_CHILD_EMULATOR ""
#endif

namespace quenlo_test {

namespace {

// How often a waiting call looks at the child, its input and its output.
constexpr Duration kPollInterval(10);

// Calls done() every kPollInterval until it holds (true) or timeout passes.
template <typename Condition>
bool PollUntil(Duration timeout, Condition done) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (; !done(); std::this_thread::sleep_for(kPollInterval))
    if (std::chrono::steady_clock::now() >= deadline) return false;
  return true;
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
  CloseInput();
}

std::string ChildProcess::KernelName(const std::string& program) {
  constexpr std::size_t kKernelNameBytes = 15;  // TASK_COMM_LEN less its NUL
  if (std::string(QUENLO_CHILD_EMULATOR).empty())
    return program.substr(program.find_last_of('/') + 1).substr(0, kKernelNameBytes);
  std::ifstream self("/proc/self/comm");
  std::string name;
  std::getline(self, name);
  return name;
}

LxStatus ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                             const Options& options) {
  if (pid_ > 0) return LxStatus::InvalidArgument("a child is already running");
  std::vector<std::string> words;
  if (options.runAs)
    words = {"setpriv", "--reuid=" + std::to_string(options.runAs->uid),
             "--regid=" + std::to_string(options.runAs->gid), "--clear-groups"};
  // env puts the extra variables in place of inherited ones of the same name.
  words.push_back("env");
  words.insert(words.end(), options.environment.begin(), options.environment.end());
  std::istringstream emulator(QUENLO_CHILD_EMULATOR);
  for (std::string word; std::getline(emulator, word, ';');) words.push_back(word);
  words.push_back(program);
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);

  CloseInput();
  capture_ = options.capture;
  // A previous child's output must not pass for this one's.
  output_.clear();
  errors_.clear();
  for (int stream : {STDOUT_FILENO, STDERR_FILENO}) unlink(captureDirectory_.File(std::to_string(stream)).c_str());
  int inputEnds[2] = {-1, -1};
  if (capture_ && pipe2(inputEnds, O_CLOEXEC) != 0) return LxStatus::IoError(std::string("pipe2: ") + strerror(errno));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (capture_) {
    signal(SIGPIPE, SIG_IGN);  // a child that closed its stdin must fail Write(), not kill the test
    posix_spawn_file_actions_adddup2(&actions, inputEnds[0], STDIN_FILENO);
    // Named after the descriptor: "1" for stdout, "2" for stderr.
    for (int stream : {STDOUT_FILENO, STDERR_FILENO})
      posix_spawn_file_actions_addopen(&actions, stream, captureDirectory_.File(std::to_string(stream)).c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  // Default handling and no blocked signals, whatever the test does itself.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  const int error = posix_spawnp(&pid_, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (capture_) close(inputEnds[0]);
  input_ = inputEnds[1];
  if (input_ >= 0) fcntl(input_, F_SETFL, O_NONBLOCK);
  ended_ = ExitStatus();
  if (error == 0) return LxStatus::Ok();
  pid_ = -1;
  return LxStatus::IoError("cannot start " + program + ": " + strerror(error));
}

LxStatus ChildProcess::Write(const std::string& bytes, Duration timeout) {
  std::size_t done = 0;
  const bool finished = PollUntil(timeout, [&] {
    const ssize_t written = write(input_, bytes.data() + done, bytes.size() - done);
    done += written > 0 ? std::size_t(written) : 0;
    return done == bytes.size() || (written < 0 && errno != EAGAIN && errno != EINTR);
  });
  if (done == bytes.size()) return LxStatus::Ok();
  return finished ? LxStatus::IoError("the child's stdin is closed") : LxStatus::TimedOut("the child does not read");
}

void ChildProcess::CloseInput() {
  if (input_ >= 0) close(input_);
  input_ = -1;
}

LxStatus ChildProcess::ReadUntil(const std::string& text, Duration timeout) {
  ExitStatus status;
  bool ended = false;
  PollUntil(timeout, [&] { return (ended = Exited(&status)) || output_.find(text) != std::string::npos; });
  if (output_.find(text) != std::string::npos) return LxStatus::Ok();
  if (ended) return LxStatus::NotFound("the child ended without '" + text + "' on stdout");
  return LxStatus::TimedOut("no '" + text + "' on stdout in time");
}

LxStatus ChildProcess::Signal(int signal) {
  if (pid_ <= 0) return LxStatus::InvalidArgument("no child is running");
  return kill(pid_, signal) == 0 ? LxStatus::Ok() : LxStatus::IoError(std::string("kill: ") + strerror(errno));
}

LxStatus ChildProcess::Wait(Duration timeout, ExitStatus* status) {
  if (PollUntil(timeout, [&] { return Exited(status); })) return LxStatus::Ok();
  return LxStatus::TimedOut("the child did not end in time");
}

bool ChildProcess::Exited(ExitStatus* status) {
  int waitStatus = 0;
  const pid_t reaped = pid_ > 0 ? waitpid(pid_, &waitStatus, WNOHANG) : -1;
  // Read after the look at the child, so everything written before its end is in.
  output_ = capture_ ? ReadFile(captureDirectory_.File("1")) : "";
  errors_ = capture_ ? ReadFile(captureDirectory_.File("2")) : "";
  if (reaped == 0) return false;
  if (reaped > 0) ended_ = {WIFEXITED(waitStatus), WEXITSTATUS(waitStatus), WTERMSIG(waitStatus)};
  pid_ = -1;
  *status = ended_;
  return true;
}

}  // namespace quenlo_test
