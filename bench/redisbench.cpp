// The Redis anchors of scripts/bench.sh: the requests cfgbench makes, made
// of a Redis server on a UNIX socket, measured by the same code (Measure.h)
// and printed on one line the same way.
//
//   redisbench get SOCKET KEY COUNT                    latency of a GET
//   redisbench set SOCKET KEY VALUE                    one SET, untimed
//   redisbench write SOCKET COUNT                      latency of a SET
//   redisbench readers SOCKET KEY CLIENTS MILLISECONDS GETs per second of concurrent clients
//   redisbench writers SOCKET CLIENTS MILLISECONDS     acknowledged SETs per second of concurrent clients
//
// Every client is a connection of its own on a thread of its own. Writes
// cycle over keys named as cfgbench names them.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/Measure.h"
#include "bench/RedisClient.h"

namespace {

// As in cfgbench: writes cycle over this many keys per client.
constexpr int kKeysPerWriter = 50;

bool Write(bench::RedisClient& client, int writer, int index) {
  const std::string key = "bench/writes/writer" + std::to_string(writer) + "-key" +
                          std::to_string(index % kKeysPerWriter);
  return client.Set(key, std::to_string(index));
}

// Concurrent clients, connected one after another, then timed.
void MeasureClients(const std::string& socketPath, int count, int milliseconds,
                    const std::function<bool(bench::RedisClient&, int)>& operation) {
  std::vector<std::unique_ptr<bench::RedisClient>> clients;
  for (int index = 0; index < count; ++index) clients.emplace_back(new bench::RedisClient);
  bench::MeasureThroughput(
      count, milliseconds, [&](int worker) { return clients[worker]->Connect(socketPath); },
      [&](int worker) { return operation(*clients[worker], worker); });
}

int Usage() {
  std::fprintf(stderr,
               "usage: redisbench get SOCKET KEY COUNT | set SOCKET KEY VALUE | write SOCKET COUNT |\n"
               "       readers SOCKET KEY CLIENTS MILLISECONDS | writers SOCKET CLIENTS MILLISECONDS\n");
  return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 4) return Usage();
  const std::string mode = argv[1];
  const std::string socketPath = argv[2];
  const std::vector<std::string> words(argv + 3, argv + argc - 1);
  const std::string last = argv[argc - 1];
  const int number = bench::PositiveNumber(last.c_str());

  if (mode == "set" && words.size() == 1) {
    bench::RedisClient client;
    return client.Connect(socketPath) && client.Set(words[0], last) ? 0 : 1;
  }
  if (number == 0) return Usage();
  if (mode == "readers" && words.size() == 2) {
    const int clients = bench::PositiveNumber(words[1].c_str());
    if (clients == 0) return Usage();
    MeasureClients(socketPath, clients, number, [&](bench::RedisClient& client, int) {
      std::string value;
      return client.Get(words[0], &value);
    });
    return 0;
  }
  if (mode == "writers" && words.size() == 1) {
    const int clients = bench::PositiveNumber(words[0].c_str());
    if (clients == 0) return Usage();
    std::vector<int> written(clients, 0);
    MeasureClients(socketPath, clients, number,
                   [&](bench::RedisClient& client, int worker) { return Write(client, worker, written[worker]++); });
    return 0;
  }

  bench::RedisClient client;
  if (!client.Connect(socketPath)) {
    std::fprintf(stderr, "redisbench: cannot connect to %s\n", socketPath.c_str());
    return 1;
  }
  std::function<bool()> operation;
  std::string value;
  int writes = 0;
  if (mode == "get" && words.size() == 1) operation = [&] { return client.Get(words[0], &value); };
  else if (mode == "write" && words.empty()) operation = [&] { return Write(client, 0, writes++); };
  else return Usage();
  return bench::MeasureAndPrintLatency(argv[1], number, operation) ? 0 : 1;
}
