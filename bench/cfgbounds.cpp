// Measures the bounds hostile clients meet on a running cfgserver, in the
// terms of what the server promises:
//
//   cfgbounds idle SOCKET CONNECTIONS
//       holds CONNECTIONS connections that never send a byte (the server's
//       --max-clients), waits until they count as idle, then times 20 new
//       clients, each connecting and reading one value.
//   cfgbounds exporters SOCKET SET CLIENTS whole|pieces
//       CLIENTS connections ask for SET's export (in one reply, or its first
//       piece) and never read, for 5 seconds; meanwhile one client keeps
//       reading a value. Prints the server's resident memory (highest
//       sample and VmHWM) and the reader's latencies.
//   cfgbounds watchers SOCKET WATCHERS WRITES
//       WATCHERS connections subscribe to every change and never read; 8
//       writers then write WRITES values of 1 KB. Prints the server's
//       resident memory as above.
//
// The server's process is the one at the other end of the socket.

#include <ace/LSOCK_Connector.h>
#include <ace/LSOCK_Stream.h>
#include <ace/UNIX_Addr.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cfgwire/Messages.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace wire = qet_cfgserver::wire;
using Connections = std::vector<std::unique_ptr<ACE_LSOCK_Stream>>;

const ACE_Time_Value kIoTimeout(10);
constexpr std::size_t kWriteValueBytes = 1024;
constexpr int kWriters = 8;

double MillisSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A blocking connect: it waits while the server's listen backlog is full,
// so every connection of a burst gets in.
bool Connect(const std::string& socketPath, ACE_LSOCK_Stream* stream) {
  return ACE_LSOCK_Connector().connect(*stream, ACE_UNIX_Addr(socketPath.c_str())) == 0;
}

std::string RequestFrame(wire::Operation operation, const std::string& set, const std::string& section = "",
                         const std::string& key = "", const std::string& value = "", bool inPieces = false) {
  wire::Request request;
  request.operation = operation;
  request.client = "cfgbounds";
  request.set = set;
  request.section = section;
  request.key = key;
  request.value = value;
  if (operation == wire::Operation::kExport) request.SetInPieces(inPieces);
  std::string frame;
  wire::EncodeRequestFrame(request, &frame);
  return frame;
}

// One request and its reply; false when either fails.
bool RoundTrip(ACE_LSOCK_Stream& stream, const std::string& frame, wire::Reply* reply = nullptr) {
  if (stream.send_n(frame.data(), frame.size(), MSG_NOSIGNAL, &kIoTimeout) != ssize_t(frame.size())) return false;
  std::string bytes(wire::kFrameHeaderBytes, '\0');
  wire::FrameHeader header;
  if (stream.recv_n(&bytes[0], bytes.size(), &kIoTimeout) != ssize_t(bytes.size()) ||
      !wire::DecodeFrameHeader(bytes.data(), &header).ok())
    return false;
  bytes.assign(header.bodyBytes, '\0');
  if (stream.recv_n(&bytes[0], bytes.size(), &kIoTimeout) != ssize_t(bytes.size())) return false;
  wire::Reply ignored;
  return wire::DecodeReplyBody(header, bytes, reply != nullptr ? reply : &ignored).ok();
}

long ServerPid(const std::string& socketPath) {
  ACE_LSOCK_Stream stream;
  if (!Connect(socketPath, &stream)) return -1;
  ucred peer{};
  socklen_t length = sizeof peer;
  const int found = getsockopt(stream.get_handle(), SOL_SOCKET, SO_PEERCRED, &peer, &length);
  stream.close();
  return found == 0 ? peer.pid : -1;
}

long StatusKiB(long pid, const char* field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  const std::string prefix = std::string(field) + ":";
  for (std::string line; std::getline(status, line);)
    if (line.rfind(prefix, 0) == 0) return std::atol(line.c_str() + prefix.size());
  return -1;
}

// Samples the server's resident memory every 50 ms until stopped.
class MemorySampler {
 public:
  explicit MemorySampler(long pid) : pid_(pid), thread_([this] {
    while (!stop_) {
      highest_ = std::max(highest_.load(), StatusKiB(pid_, "VmRSS"));
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }) {}
  ~MemorySampler() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  void Print(long before) {
    Stop();
    std::printf("server resident: before %ld KiB, highest sample %ld KiB, now %ld KiB, VmHWM %ld KiB\n", before,
                highest_.load(), StatusKiB(pid_, "VmRSS"), StatusKiB(pid_, "VmHWM"));
  }

 private:
  const long pid_;
  std::atomic<bool> stop_{false};
  std::atomic<long> highest_{0};
  std::thread thread_;
};

void PrintLatencies(const char* what, std::vector<double> millis, int failures) {
  if (millis.empty()) {
    std::printf("%s: no answer (%d failures)\n", what, failures);
    return;
  }
  std::sort(millis.begin(), millis.end());
  std::printf("%s: %zu answered, %d failed; median %.3f ms, p99 %.3f ms, max %.3f ms\n", what, millis.size(), failures,
              millis[millis.size() / 2], millis[millis.size() * 99 / 100], millis.back());
}

// Reads one value over and over on a connection of its own until stopped.
class Reader {
 public:
  explicit Reader(const std::string& socketPath) : thread_([this, socketPath] {
    ACE_LSOCK_Stream stream;
    const std::string frame = RequestFrame(wire::Operation::kGetValue, "set", "section", "key");
    bool connected = Connect(socketPath, &stream);
    while (!stop_) {
      const Clock::time_point start = Clock::now();
      if (connected && RoundTrip(stream, frame)) {
        millis_.push_back(MillisSince(start));
      } else {
        ++failures_;
        stream.close();
        connected = Connect(socketPath, &stream);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }) {}
  ~Reader() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  void Print() {
    Stop();
    PrintLatencies("a point read meanwhile", millis_, failures_);
  }

 private:
  std::atomic<bool> stop_{false};
  std::vector<double> millis_;
  int failures_ = 0;
  std::thread thread_;
};

int Idle(const std::string& socketPath, int connections) {
  Connections idle;
  for (int index = 0; index < connections; ++index) {
    idle.emplace_back(new ACE_LSOCK_Stream);
    if (!Connect(socketPath, idle.back().get())) std::fprintf(stderr, "cfgbounds: connection %d failed\n", index);
  }
  std::printf("%d connections open, never sending a byte; waiting 2 s\n", connections);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  std::vector<double> millis;
  int failures = 0;
  for (int client = 0; client < 20; ++client) {
    const Clock::time_point start = Clock::now();
    ACE_LSOCK_Stream stream;
    wire::Reply reply;
    const std::string frame = RequestFrame(wire::Operation::kGetValue, "set", "section", "key");
    if (Connect(socketPath, &stream) && RoundTrip(stream, frame, &reply))
      millis.push_back(MillisSince(start));
    else
      ++failures;
    stream.close();
  }
  PrintLatencies("a new client, connect and one read", millis, failures);
  return failures == 0 ? 0 : 1;
}

int Exporters(const std::string& socketPath, const std::string& set, int clients, bool pieces) {
  const long pid = ServerPid(socketPath);
  const long before = StatusKiB(pid, "VmRSS");
  MemorySampler sampler(pid);
  Reader reader(socketPath);
  const std::string frame = RequestFrame(wire::Operation::kExport, set, "", "", "", pieces);
  Connections hogs;
  const Clock::time_point start = Clock::now();
  for (int index = 0; index < clients; ++index) {
    hogs.emplace_back(new ACE_LSOCK_Stream);
    if (!Connect(socketPath, hogs.back().get()) ||
        hogs.back()->send_n(frame.data(), frame.size(), MSG_NOSIGNAL, &kIoTimeout) != ssize_t(frame.size()))
      std::fprintf(stderr, "cfgbounds: exporter %d could not ask\n", index);
  }
  std::printf("%d clients asked for the export of %s (%s) in %.0f ms; holding them 5 s without reading\n", clients,
              set.c_str(), pieces ? "in pieces" : "whole", MillisSince(start));
  std::this_thread::sleep_for(std::chrono::seconds(5));
  reader.Print();
  sampler.Print(before);
  return 0;
}

int Watchers(const std::string& socketPath, int watchers, int writes) {
  const long pid = ServerPid(socketPath);
  Connections silent;
  for (int index = 0; index < watchers; ++index) {
    silent.emplace_back(new ACE_LSOCK_Stream);
    if (!Connect(socketPath, silent.back().get()) ||
        !RoundTrip(*silent.back(), RequestFrame(wire::Operation::kSubscribe, "")))
      std::fprintf(stderr, "cfgbounds: watcher %d could not subscribe\n", index);
  }
  const long before = StatusKiB(pid, "VmRSS");
  MemorySampler sampler(pid);
  const Clock::time_point start = Clock::now();
  std::atomic<int> next{0}, failed{0};
  std::vector<std::thread> writers;
  for (int writer = 0; writer < kWriters; ++writer)
    writers.emplace_back([&] {
      ACE_LSOCK_Stream stream;
      if (!Connect(socketPath, &stream)) return;
      const std::string value(kWriteValueBytes, 'w');
      for (int index; (index = next++) < writes;) {
        const std::string key = "k" + std::to_string(index);
        if (!RoundTrip(stream, RequestFrame(wire::Operation::kSetValue, "bounds", "section", key, value))) ++failed;
      }
    });
  for (std::thread& writer : writers) writer.join();
  std::printf("%d silent watchers; %d writes of %zu bytes in %.0f ms (%d failed)\n", watchers, writes,
              kWriteValueBytes, MillisSince(start), failed.load());
  sampler.Print(before);
  return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // Room for every connection's descriptor.
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "idle" && argc == 4) return Idle(argv[2], std::atoi(argv[3]));
  if (mode == "exporters" && argc == 6)
    return Exporters(argv[2], argv[3], std::atoi(argv[4]), std::string(argv[5]) == "pieces");
  if (mode == "watchers" && argc == 5) return Watchers(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  std::fprintf(stderr,
               "usage: cfgbounds idle SOCKET CONNECTIONS\n"
               "       cfgbounds exporters SOCKET SET CLIENTS whole|pieces\n"
               "       cfgbounds watchers SOCKET WATCHERS WRITES\n");
  return 2;
}
