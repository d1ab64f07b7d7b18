#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>

// A blocking connection to a Redis server on a UNIX socket, speaking just
// enough of its protocol (RESP) for the bench's anchors: GET and SET of one
// key, a request and its answer at a time. It makes the calls the client
// library makes for a request (one send, one read while the answer fits its
// buffer) so that the two are timed alike. Owns its socket; one thread at a
// time.
namespace bench {

class RedisClient {
 public:
  RedisClient() = default;
  ~RedisClient();
  RedisClient(const RedisClient&) = delete;
  RedisClient& operator=(const RedisClient&) = delete;

  bool Connect(const std::string& socketPath);

  // True when the server answered with a value (a missing key is false).
  bool Get(const std::string& key, std::string* value);

  // True once the server has acknowledged the write; with appendfsync
  // always it does so only after syncing its log.
  bool Set(const std::string& key, const std::string& value);

 private:
  // Sends the command made of the given words as one RESP array.
  bool SendCommand(std::initializer_list<const std::string*> words);
  // The next answer's first line, without its "\r\n".
  bool ReadLine(std::string* line);
  // The next count bytes and the "\r\n" after them.
  bool ReadBulk(std::size_t count, std::string* bytes);
  // Reads once more from the socket into unread_.
  bool Fill();

  int socket_ = -1;
  std::string request_;  // reused, so a request allocates only while it grows
  std::string unread_;   // bytes received, not yet taken
  std::size_t taken_ = 0;
};

}  // namespace bench
