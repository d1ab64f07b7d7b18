#include "bench/RedisClient.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace bench {

namespace {

// Room for any answer the anchors get in one read.
constexpr std::size_t kReadBytes = 4096;

}  // namespace

RedisClient::~RedisClient() {
  if (socket_ >= 0) close(socket_);
}

bool RedisClient::Connect(const std::string& socketPath) {
  sockaddr_un address;
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, socketPath.data(), socketPath.size());
  socket_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket_ < 0) return false;
  return connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

bool RedisClient::Get(const std::string& key, std::string* value) {
  static const std::string kGet = "GET";
  std::string line;
  if (!SendCommand({&kGet, &key}) || !ReadLine(&line)) return false;
  if (line.size() < 2 || line[0] != '$' || line[1] == '-') return false;  // an error or no value
  return ReadBulk(std::strtoul(line.c_str() + 1, nullptr, 10), value);
}

bool RedisClient::Set(const std::string& key, const std::string& value) {
  static const std::string kSet = "SET";
  std::string line;
  return SendCommand({&kSet, &key, &value}) && ReadLine(&line) && line == "+OK";
}

bool RedisClient::SendCommand(std::initializer_list<const std::string*> words) {
  request_.clear();
  request_ += '*';
  request_ += std::to_string(words.size());
  request_ += "\r\n";
  for (const std::string* word : words) {
    request_ += '$';
    request_ += std::to_string(word->size());
    request_ += "\r\n";
    request_ += *word;
    request_ += "\r\n";
  }
  const char* bytes = request_.data();
  std::size_t left = request_.size();
  while (left > 0) {
    const ssize_t sent = send(socket_, bytes, left, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    bytes += sent;
    left -= static_cast<std::size_t>(sent);
  }
  return true;
}

bool RedisClient::ReadLine(std::string* line) {
  std::string::size_type end;
  while ((end = unread_.find("\r\n", taken_)) == std::string::npos)
    if (!Fill()) return false;
  line->assign(unread_, taken_, end - taken_);
  taken_ = end + 2;
  return true;
}

bool RedisClient::ReadBulk(std::size_t count, std::string* bytes) {
  while (unread_.size() - taken_ < count + 2)
    if (!Fill()) return false;
  bytes->assign(unread_, taken_, count);
  taken_ += count + 2;
  return true;
}

bool RedisClient::Fill() {
  // Answers come one at a time: once all is taken, start over at the front.
  if (taken_ == unread_.size()) {
    unread_.clear();
    taken_ = 0;
  }
  char bytes[kReadBytes];
  const ssize_t got = read(socket_, bytes, sizeof bytes);
  if (got <= 0) return false;
  unread_.append(bytes, static_cast<std::size_t>(got));
  return true;
}

}  // namespace bench
