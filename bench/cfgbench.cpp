// Measures what one request costs against a running cfgserver: a point read,
// a write (committed to disk before the answer), a listing of the sets, and
// the listing of one section of many keys; and, as the floor under them all,
// a bare round trip over a UNIX-domain socket pair. Point it at the server
// with CFGSERVER_RUNTIME_DIR.
//
//   cfgbench [reads] [writes] [keys in the big section]

#include <ace/OS_NS_sys_socket.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <list>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "CfgRequests.h"

namespace {

using Clock = std::chrono::steady_clock;
using qet_cfgserver::CfgItemCommand::kGet;
using qet_cfgserver::CfgItemCommand::kSet;
using qet_cfgserver::CfgItemStatus::kSuccess;

constexpr const char* kTag = "cfgbench";

// Runs request count times; prints the median and 99th percentile.
bool Measure(const char* name, int count, const std::function<bool(int)>& request) {
  std::vector<double> micros;
  micros.reserve(count);
  for (int i = 0; i < count; ++i) {
    const Clock::time_point start = Clock::now();
    if (!request(i)) {
      std::fprintf(stderr, "cfgbench: %s failed at request %d\n", name, i);
      return false;
    }
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  std::sort(micros.begin(), micros.end());
  std::printf("%-28s %7d requests   median %9.1f us   p99 %9.1f us\n", name, count, micros[micros.size() / 2],
              micros[micros.size() * 99 / 100]);
  return true;
}

// Ping-pong of a few bytes between two threads over a socket pair.
bool MeasureBareRoundTrip(int count) {
  ACE_HANDLE ends[2];
  if (ACE_OS::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) == -1) return false;
  std::thread echo([&ends, count] {
    char bytes[64];
    for (int i = 0; i < count; ++i)
      if (ACE_OS::recv(ends[1], bytes, sizeof bytes) <= 0 || ACE_OS::send(ends[1], bytes, 16) != 16) return;
  });
  char bytes[64] = {};
  const bool ok = Measure("bare socket round trip", count, [&](int) {
    return ACE_OS::send(ends[0], bytes, 16) == 16 && ACE_OS::recv(ends[0], bytes, sizeof bytes) > 0;
  });
  echo.join();
  ACE_OS::closesocket(ends[0]);
  ACE_OS::closesocket(ends[1]);
  return ok;
}

int Argument(int argc, char* argv[], int index, int fallback) {
  return argc > index ? std::max(1, atoi(argv[index])) : fallback;
}

}  // namespace

int main(int argc, char* argv[]) {
  const int reads = Argument(argc, argv, 1, 20000);
  const int writes = Argument(argc, argv, 2, 200);
  const int bigSection = Argument(argc, argv, 3, 10000);
  qet_cfgserver::LxiConfigure& client = *qet_cfgserver::CreateIpcClient("cfgbench", "CfgServer-ReadFifo");

  bool ok = MeasureBareRoundTrip(reads) && Measure("set (committed)", writes, [&](int i) {
    return SetCfgValue(client, "bench", "small", "key" + std::to_string(i % 50), std::to_string(i), kTag, kSet) ==
           kSuccess;
  });
  ok = ok && Measure("get (point read)", reads, [&](int i) {
         std::string value;
         return GetCfgValue(client, "bench", "small", "key" + std::to_string(i % 50), value, kTag, kGet) == kSuccess;
       });
  ok = ok && Measure("list sets", reads / 10, [&](int) {
         std::set<std::string> sets;
         GetCfgSets(client, sets, kTag);
         return !sets.empty();
       });
  std::printf("filling a section of %d keys ...\n", bigSection);
  for (int i = 0; ok && i < bigSection; ++i)
    ok = SetCfgValue(client, "bench", "big", "key" + std::to_string(i), "value of key " + std::to_string(i), kTag,
                     kSet) == kSuccess;
  ok = ok && Measure("list keys of big section", 20, [&](int) {
         std::list<qet_cfgserver::LxCfgKeyValuePair> pairs;
         GetCfgKeysAndValues(client, "bench", "big", pairs, kTag);
         return static_cast<int>(pairs.size()) >= bigSection;
       });
  client.Release();
  return ok ? 0 : 1;
}
