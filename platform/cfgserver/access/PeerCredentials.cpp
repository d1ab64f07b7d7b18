#include "access/PeerCredentials.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "common/UserName.h"

namespace qet_cfgserver {

namespace {

constexpr const char* kUnknownProgram = "?";
// The kernel keeps at most 15 bytes of a program's name.
constexpr std::size_t kMaxProgramBytes = 16;

// The peer chooses its name (prctl), so it is made printable before any log
// line shows it.
std::string ProgramOf(pid_t pid) {
  const std::string path = "/proc/" + std::to_string(pid) + "/comm";
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return kUnknownProgram;
  char name[kMaxProgramBytes];
  const ssize_t length = read(file, name, sizeof name);
  close(file);
  if (length <= 0) return kUnknownProgram;
  std::string program(name, static_cast<std::size_t>(length));
  if (program.back() == '\n') program.pop_back();
  for (char& byte : program)
    if (byte < 0x20 || byte > 0x7e) byte = '?';
  return program.empty() ? kUnknownProgram : program;
}

// What Describe() adds around the names: the words and two numbers.
constexpr std::size_t kDescriptionFixedBytes = 64;

}  // namespace

constexpr uid_t PeerCredentials::kNoUser;

std::string PeerCredentials::Describe() const {
  if (uid == kNoUser) return "the server itself";
  // Built in one allocation: every write's log line names its client.
  std::string text;
  text.reserve(kDescriptionFixedBytes + userName.size() + program.size());
  text.append("uid ").append(std::to_string(uid)).append(" (").append(userName).append(") pid ");
  text.append(std::to_string(pid)).append(" (").append(program).append(")");
  return text;
}

LxStatus PeerCredentials::Read(int socket, PeerCredentials* peer) {
  struct ucred credentials;
  socklen_t length = sizeof credentials;
  if (getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 || length != sizeof credentials)
    return LxStatus::IoError(std::string("cannot read the peer's credentials: ") + strerror(errno));
  peer->uid = credentials.uid;
  peer->gid = credentials.gid;
  peer->pid = credentials.pid;
  peer->userName = UserName(credentials.uid);
  peer->program = ProgramOf(credentials.pid);
  return LxStatus::Ok();
}

}  // namespace qet_cfgserver
