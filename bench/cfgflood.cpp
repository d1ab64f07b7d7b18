// Measures what hostile clients cost a running cfgserver:
//
//  1. memory: connections that each announce a 16 MiB request and send
//     15 MiB of it; prints the server's peak resident memory (VmHWM).
//  2. a connection flood: while 2,000 connections are opened and held, a
//     client connected beforehand keeps reading one value; prints its
//     request latency during the flood.
//
//   cfgflood SOCKET SERVER_PID [hogs] [flood connections]

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

constexpr std::uint32_t kAnnouncedBytes = 16 * 1024 * 1024;
constexpr std::size_t kSentBytes = 15 * 1024 * 1024;
const ACE_Time_Value kIoTimeout(5);

std::string ProcStatusField(long pid, const std::string& field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.compare(0, field.size() + 1, field + ":") == 0) return line.substr(field.size() + 1);
  return "?";
}

bool Connect(const char* socketPath, ACE_LSOCK_Stream* stream, ACE_Time_Value* timeout) {
  return ACE_LSOCK_Connector().connect(*stream, ACE_UNIX_Addr(socketPath), timeout) == 0;
}

void MeasureHogs(const char* socketPath, long serverPid, int hogs) {
  std::printf("server resident before: %s\n", ProcStatusField(serverPid, "VmRSS").c_str());
  // A whole frame of the announced size; only its header and the first
  // kSentBytes of the body are sent.
  std::string frame;
  if (!wire::BuildFrame(std::string(kAnnouncedBytes, 'x').data(), kAnnouncedBytes, &frame).ok()) return;
  const std::string header = frame.substr(0, wire::kFrameHeaderBytes), chunk(1024 * 1024, 'x');
  std::vector<std::thread> senders;
  std::atomic<std::size_t> delivered{0};
  for (int index = 0; index < hogs; ++index)
    senders.emplace_back([&] {
      ACE_LSOCK_Stream stream;
      if (!Connect(socketPath, &stream, nullptr)) return;
      std::size_t sent = 0;
      if (stream.send_n(header.data(), header.size(), MSG_NOSIGNAL, &kIoTimeout) == ssize_t(header.size()))
        for (; sent < kSentBytes; sent += chunk.size())
          if (stream.send_n(chunk.data(), chunk.size(), MSG_NOSIGNAL, &kIoTimeout) != ssize_t(chunk.size())) break;
      delivered += sent;
      std::this_thread::sleep_for(std::chrono::seconds(1));  // hold the connection while memory is read
      stream.close();
    });
  for (std::thread& sender : senders) sender.join();
  std::printf("%d connections announcing %u bytes: %zu body bytes taken by the server in all\n", hogs,
              kAnnouncedBytes, delivered.load());
  std::printf("server resident after: %s, peak: %s\n", ProcStatusField(serverPid, "VmRSS").c_str(),
              ProcStatusField(serverPid, "VmHWM").c_str());
}

// The read the connected client keeps making during the flood.
wire::Request PointRead() {
  wire::Request read;
  read.operation = wire::Operation::kGetValue;
  read.client = "cfgflood";
  read.set = "set";
  read.section = "section";
  read.key = "key";
  return read;
}

void MeasureFlood(const char* socketPath, int connections) {
  ACE_LSOCK_Stream client;
  std::string request;
  if (!Connect(socketPath, &client, nullptr) || !wire::EncodeRequestFrame(PointRead(), &request).ok()) {
    std::fprintf(stderr, "cfgflood: cannot reach the server\n");
    return;
  }
  std::atomic<bool> flooding{true}, opening{true};
  std::vector<double> millis, duringOpening;
  std::thread measurer([&] {
    char reply[4096];
    while (flooding) {
      const Clock::time_point start = Clock::now();
      const bool whileOpening = opening;
      if (client.send_n(request.data(), request.size(), MSG_NOSIGNAL, &kIoTimeout) != ssize_t(request.size()) ||
          client.recv(reply, sizeof reply, &kIoTimeout) <= 0) {
        std::fprintf(stderr, "cfgflood: the connected client lost the server\n");
        return;
      }
      millis.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
      if (whileOpening) duringOpening.push_back(millis.back());
    }
  });

  // Each connect waits while the backlog is full, so all of them get in.
  ACE_Time_Value connectTimeout = kIoTimeout;
  std::vector<std::unique_ptr<ACE_LSOCK_Stream>> flood;
  int failed = 0;
  const Clock::time_point floodStart = Clock::now();
  for (int index = 0; index < connections; ++index) {
    flood.emplace_back(new ACE_LSOCK_Stream);
    if (!Connect(socketPath, flood.back().get(), &connectTimeout)) ++failed;
  }
  const double floodMillis = std::chrono::duration<double, std::milli>(Clock::now() - floodStart).count();
  opening = false;
  std::this_thread::sleep_for(std::chrono::seconds(2));  // the server works through them
  flooding = false;
  measurer.join();
  for (auto& stream : flood) stream->close();

  std::printf("%d connections opened in %.0f ms (%d failed), then held 2 s\n", connections, floodMillis, failed);
  for (auto [name, sample] : {std::make_pair("while opening", &duringOpening), std::make_pair("in all", &millis)}) {
    if (sample->empty()) continue;
    std::sort(sample->begin(), sample->end());
    std::printf("the connected client's requests %-13s %7zu   median %.3f ms   p99 %.3f ms   max %.3f ms\n", name,
                sample->size(), (*sample)[sample->size() / 2], (*sample)[sample->size() * 99 / 100], sample->back());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: cfgflood SOCKET SERVER_PID [hogs] [flood connections]\n");
    return 2;
  }
  // Room for the flood's descriptors.
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  MeasureHogs(argv[1], std::atol(argv[2]), argc > 3 ? std::atoi(argv[3]) : 40);
  MeasureFlood(argv[1], argc > 4 ? std::atoi(argv[4]) : 2000);
  return 0;
}
