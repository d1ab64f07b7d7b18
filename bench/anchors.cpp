// The anchors scripts/bench.sh measures the server's figures against: what
// the kernel, the disk and SQLite cost with nothing of ours in between.
// Plain system calls on purpose; one measurement per run, printed on one
// line (see Measure.h).
//
//   anchors pingpong-server SOCKET
//       serves one client after another: blocking read, write back
//   anchors echo-server SOCKET
//       one thread, epoll, echoes any number of clients until killed
//   anchors pingpong SOCKET COUNT
//       latency of a round trip of a request-sized message
//   anchors echo-clients SOCKET CLIENTS MILLISECONDS
//       round trips per second of concurrent clients
//   anchors fsync DIRECTORY COUNT
//       latency of rewriting 4 KiB of a file and fdatasync
//   anchors fsync-loop DIRECTORY MILLISECONDS
//       the same, as a rate
//   anchors sqlite-list DIRECTORY KEYS COUNT
//       latency of SQLite listing a section of KEYS rows in process

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "bench/Measure.h"

namespace {

// About the size of a point read's request frame.
constexpr std::size_t kMessageBytes = 64;
// A SQLite page: what one small commit adds to the write-ahead log.
constexpr std::size_t kBlockBytes = 4096;
// The fsync anchor's file: a write-ahead log of this many pages.
constexpr int kBlocksInFile = 256;
constexpr int kEpollBatch = 64;
constexpr int kListenBacklog = 128;

bool Address(const char* path, sockaddr_un* address) {
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  if (std::strlen(path) >= sizeof address->sun_path) return false;
  std::strcpy(address->sun_path, path);
  return true;
}

int Listen(const char* path) {
  sockaddr_un address;
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0 || !Address(path, &address)) return -1;
  unlink(path);
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return -1;
  return listen(listener, kListenBacklog) == 0 ? listener : -1;
}

int Connect(const char* path) {
  sockaddr_un address;
  const int stream = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (stream < 0 || !Address(path, &address)) return -1;
  if (connect(stream, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return stream;
  close(stream);
  return -1;
}

bool WriteAll(int descriptor, const char* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t written = write(descriptor, bytes, count);
    if (written <= 0) return false;
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

bool ReadAll(int descriptor, char* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t got = read(descriptor, bytes, count);
    if (got <= 0) return false;
    bytes += got;
    count -= static_cast<std::size_t>(got);
  }
  return true;
}

bool RoundTrip(int stream) {
  char message[kMessageBytes] = {};
  return WriteAll(stream, message, sizeof message) && ReadAll(stream, message, sizeof message);
}

// Echoes whatever arrives; returns false once the peer has gone.
bool Echo(int stream) {
  char bytes[kMessageBytes * 4];
  const ssize_t got = read(stream, bytes, sizeof bytes);
  return got > 0 && WriteAll(stream, bytes, static_cast<std::size_t>(got));
}

int PingPongServer(const char* path) {
  const int listener = Listen(path);
  if (listener < 0) return 1;
  for (;;) {
    const int stream = accept(listener, nullptr, nullptr);
    while (stream >= 0 && Echo(stream)) {
    }
    close(stream);
  }
}

int EchoServer(const char* path) {
  const int listener = Listen(path);
  const int poller = epoll_create1(EPOLL_CLOEXEC);
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.fd = listener;
  if (listener < 0 || poller < 0 || epoll_ctl(poller, EPOLL_CTL_ADD, listener, &event) != 0) return 1;
  for (;;) {
    epoll_event ready[kEpollBatch];
    const int count = epoll_wait(poller, ready, kEpollBatch, -1);
    for (int index = 0; index < count; ++index) {
      const int descriptor = ready[index].data.fd;
      if (descriptor == listener) {
        event.data.fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (event.data.fd >= 0) epoll_ctl(poller, EPOLL_CTL_ADD, event.data.fd, &event);
      } else if (!Echo(descriptor)) {
        close(descriptor);  // also leaves the epoll set
      }
    }
  }
}

int PingPong(const char* path, int count) {
  const int stream = Connect(path);
  if (stream < 0) return 1;
  return bench::MeasureAndPrintLatency("pingpong", count, [stream] { return RoundTrip(stream); }) ? 0 : 1;
}

int EchoClients(const char* path, int clients, int milliseconds) {
  std::vector<int> streams(clients, -1);
  bench::MeasureThroughput(
      clients, milliseconds, [&](int worker) { return (streams[worker] = Connect(path)) >= 0; },
      [&](int worker) { return RoundTrip(streams[worker]); });
  return 0;
}

// Writes 4 KiB blocks of a file in turn, each made durable with fdatasync,
// as SQLite reuses its write-ahead log once checkpointed: the file has its
// full size first, so fdatasync has no file size to record. As a latency,
// or (milliseconds > 0) as a rate over that long.
int SyncedWrites(const std::string& directory, int count, int milliseconds) {
  const std::string path = directory + "/fsync-anchor";
  const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (file < 0) return 1;
  const std::vector<char> block(kBlockBytes, 'x');
  for (int index = 0; index < kBlocksInFile; ++index)
    if (!WriteAll(file, block.data(), block.size())) return 1;
  if (fsync(file) != 0) return 1;
  int written = 0;
  const auto syncedWrite = [&] {
    const off_t offset = static_cast<off_t>(written++ % kBlocksInFile) * static_cast<off_t>(kBlockBytes);
    return pwrite(file, block.data(), block.size(), offset) == static_cast<ssize_t>(block.size()) &&
           fdatasync(file) == 0;
  };
  bool ok = true;
  if (milliseconds > 0)
    bench::MeasureThroughput(1, milliseconds, [](int) { return true; }, [&](int) { return syncedWrite(); });
  else
    ok = bench::MeasureAndPrintLatency("fsync", count, syncedWrite);
  close(file);
  unlink(path.c_str());
  return ok ? 0 : 1;
}

bool Execute(sqlite3* database, const char* sql) {
  return sqlite3_exec(database, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool Bind(sqlite3_stmt* statement, int index, const std::string& bytes) {
  const int size = static_cast<int>(bytes.size());
  return sqlite3_bind_blob(statement, index, bytes.data(), size, SQLITE_TRANSIENT) == SQLITE_OK;
}

std::string Column(sqlite3_stmt* statement, int index) {
  const void* bytes = sqlite3_column_blob(statement, index);
  return std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(sqlite3_column_bytes(statement, index)));
}

// The server's table, settings and rows as scripts/bench.sh imports them:
// set "bench", section "big", keys key000000... with values "value N".
bool FillSection(sqlite3* database, int keys) {
  if (!Execute(database, "PRAGMA locking_mode=EXCLUSIVE") || !Execute(database, "PRAGMA journal_mode=WAL") ||
      !Execute(database, "PRAGMA synchronous=FULL") ||
      !Execute(database,
               "CREATE TABLE config (set_name BLOB NOT NULL, section_name BLOB NOT NULL, key_name BLOB NOT NULL,"
               " value BLOB NOT NULL, PRIMARY KEY (set_name, section_name, key_name)) WITHOUT ROWID") ||
      !Execute(database, "BEGIN"))
    return false;
  sqlite3_stmt* insert = nullptr;
  if (sqlite3_prepare_v2(database, "INSERT INTO config VALUES (?1, ?2, ?3, ?4)", -1, &insert, nullptr) != SQLITE_OK)
    return false;
  bool ok = true;
  for (int index = 0; ok && index < keys; ++index) {
    char key[32];
    std::snprintf(key, sizeof key, "key%06d", index);
    ok = Bind(insert, 1, "bench") && Bind(insert, 2, "big") && Bind(insert, 3, key) &&
         Bind(insert, 4, "value " + std::to_string(index)) && sqlite3_step(insert) == SQLITE_DONE;
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  return ok && Execute(database, "COMMIT");
}

// The server's listing query, its rows copied out as the server copies them.
int SqliteList(const std::string& directory, int keys, int count) {
  const std::string path = directory + "/sqlite-anchor.db";
  unlink(path.c_str());
  sqlite3* database = nullptr;
  sqlite3_stmt* select = nullptr;
  bool ok = sqlite3_open_v2(path.c_str(), &database, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) == SQLITE_OK &&
            FillSection(database, keys) &&
            sqlite3_prepare_v2(database,
                               "SELECT key_name, value FROM config WHERE set_name = ?1 AND section_name = ?2"
                               " ORDER BY key_name",
                               -1, &select, nullptr) == SQLITE_OK;
  ok = ok && bench::MeasureAndPrintLatency("sqlite-list", count, [&] {
         std::vector<std::pair<std::string, std::string>> pairs;
         if (!Bind(select, 1, "bench") || !Bind(select, 2, "big")) return false;
         int result;
         while ((result = sqlite3_step(select)) == SQLITE_ROW) pairs.emplace_back(Column(select, 0), Column(select, 1));
         sqlite3_reset(select);
         return result == SQLITE_DONE && static_cast<int>(pairs.size()) == keys;
       });
  sqlite3_finalize(select);
  sqlite3_close_v2(database);
  unlink(path.c_str());
  unlink((path + "-wal").c_str());
  unlink((path + "-shm").c_str());
  return ok ? 0 : 1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: anchors pingpong-server SOCKET | echo-server SOCKET | pingpong SOCKET COUNT |\n"
               "       echo-clients SOCKET CLIENTS MILLISECONDS | fsync DIRECTORY COUNT |\n"
               "       fsync-loop DIRECTORY MILLISECONDS | sqlite-list DIRECTORY KEYS COUNT\n");
  return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 3) return Usage();
  const std::string mode = argv[1];
  const char* place = argv[2];
  const int first = argc > 3 ? bench::PositiveNumber(argv[3]) : 0;
  const int second = argc > 4 ? bench::PositiveNumber(argv[4]) : 0;
  if (mode == "pingpong-server" && argc == 3) return PingPongServer(place);
  if (mode == "echo-server" && argc == 3) return EchoServer(place);
  if (mode == "pingpong" && argc == 4 && first > 0) return PingPong(place, first);
  if (mode == "echo-clients" && argc == 5 && first > 0 && second > 0) return EchoClients(place, first, second);
  if (mode == "fsync" && argc == 4 && first > 0) return SyncedWrites(place, first, 0);
  if (mode == "fsync-loop" && argc == 4 && first > 0) return SyncedWrites(place, 0, first);
  if (mode == "sqlite-list" && argc == 5 && first > 0 && second > 0) return SqliteList(place, first, second);
  return Usage();
}
