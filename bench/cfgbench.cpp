// What requests cost against a running cfgserver, made through the client
// library as the console makes them. Point it at the server with
// CFGSERVER_RUNTIME_DIR. One measurement per run, printed on one line
// (see Measure.h); scripts/bench.sh puts the lines into its table.
//
//   cfgbench get SET SECTION KEY COUNT               latency of a point read
//   cfgbench write SET SECTION COUNT                 latency of a durable write
//   cfgbench list-sets COUNT                         latency of listing the sets
//   cfgbench list-sections SET COUNT                 latency of listing a set's sections
//   cfgbench list-keys SET SECTION COUNT             latency of listing a section's keys and values
//   cfgbench readers SET SECTION KEY CLIENTS MILLISECONDS
//       point reads per second of concurrent clients
//   cfgbench writers SET SECTION CLIENTS MILLISECONDS
//       acknowledged writes per second of concurrent clients
//
// Every client is a handle of its own (its own connection) on a thread of
// its own; a write is acknowledged only once the server has committed it.

#include <cstdio>
#include <list>
#include <set>
#include <string>
#include <vector>

#include "bench/Measure.h"
#include "cfgmsg/CfgRequests.h"
#include "cfgwire/RuntimeDirectory.h"

namespace {

using qet_cfgserver::CfgItemCommand::kGet;
using qet_cfgserver::CfgItemCommand::kSet;
using qet_cfgserver::CfgItemStatus::kSuccess;
using qet_cfgserver::LxiConfigure;

constexpr const char* kTag = "cfgbench";
// Writes cycle over this many keys per client, so the table stays small.
constexpr int kKeysPerWriter = 50;

LxiConfigure& NewClient() { return *qet_cfgserver::CreateIpcClient("cfgbench", qet_cfgserver::wire::kServerEndpoint); }

bool Read(LxiConfigure& client, const std::string& set, const std::string& section, const std::string& key) {
  std::string value;
  return GetCfgValue(client, set, section, key, value, kTag, kGet) == kSuccess;
}

bool Write(LxiConfigure& client, const std::string& set, const std::string& section, int writer, int index) {
  const std::string key = "writer" + std::to_string(writer) + "-key" + std::to_string(index % kKeysPerWriter);
  return SetCfgValue(client, set, section, key, std::to_string(index), kTag, kSet) == kSuccess;
}

bool ListSets(LxiConfigure& client) {
  std::set<std::string> sets;
  return GetCfgSets(client, sets, kTag) == kSuccess && !sets.empty();
}

bool ListSections(LxiConfigure& client, const std::string& set) {
  std::set<std::string> sections;
  return GetCfgSections(client, set, sections, kTag) == kSuccess && !sections.empty();
}

bool ListKeys(LxiConfigure& client, const std::string& set, const std::string& section) {
  std::list<qet_cfgserver::LxCfgKeyValuePair> pairs;
  return GetCfgKeysAndValues(client, set, section, pairs, kTag) == kSuccess && !pairs.empty();
}

// Concurrent clients: connected one after another by a first read of any
// name (an unknown key is an answer too), then timed.
void MeasureClients(int count, int milliseconds, const std::function<bool(LxiConfigure&, int)>& operation) {
  std::vector<LxiConfigure*> clients;
  for (int index = 0; index < count; ++index) clients.push_back(&NewClient());
  bench::MeasureThroughput(
      count, milliseconds,
      [&](int worker) {
        std::string value;
        const auto status = GetCfgValue(*clients[worker], "cfgbench", "connect", "connect", value, kTag, kGet);
        return status == kSuccess || status == qet_cfgserver::CfgItemStatus::kKeyNotFound;
      },
      [&](int worker) { return operation(*clients[worker], worker); });
  for (LxiConfigure* client : clients) client->Release();
}

int Usage() {
  std::fprintf(stderr,
               "usage: cfgbench get SET SECTION KEY COUNT | write SET SECTION COUNT | list-sets COUNT |\n"
               "       list-sections SET COUNT | list-keys SET SECTION COUNT |\n"
               "       readers SET SECTION KEY CLIENTS MILLISECONDS | writers SET SECTION CLIENTS MILLISECONDS\n");
  return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 3) return Usage();
  const std::string mode = argv[1];
  const std::vector<std::string> names(argv + 2, argv + argc - 1);
  const int last = bench::PositiveNumber(argv[argc - 1]);
  if (last == 0) return Usage();

  if (mode == "readers" && names.size() == 4) {
    const int clients = bench::PositiveNumber(names[3].c_str());
    if (clients == 0) return Usage();
    MeasureClients(clients, last,
                   [&](LxiConfigure& client, int) { return Read(client, names[0], names[1], names[2]); });
    return 0;
  }
  if (mode == "writers" && names.size() == 3) {
    const int clients = bench::PositiveNumber(names[2].c_str());
    if (clients == 0) return Usage();
    std::vector<int> written(clients, 0);
    MeasureClients(clients, last, [&](LxiConfigure& client, int worker) {
      return Write(client, names[0], names[1], worker, written[worker]++);
    });
    return 0;
  }

  LxiConfigure& client = NewClient();
  std::function<bool()> operation;
  int writes = 0;
  if (mode == "get" && names.size() == 3) operation = [&] { return Read(client, names[0], names[1], names[2]); };
  else if (mode == "write" && names.size() == 2)
    operation = [&] { return Write(client, names[0], names[1], 0, writes++); };
  else if (mode == "list-sets" && names.empty()) operation = [&] { return ListSets(client); };
  else if (mode == "list-sections" && names.size() == 1) operation = [&] { return ListSections(client, names[0]); };
  else if (mode == "list-keys" && names.size() == 2) operation = [&] { return ListKeys(client, names[0], names[1]); };
  else return Usage();
  const bool ok = bench::MeasureAndPrintLatency(argv[1], last, operation);
  client.Release();
  return ok ? 0 : 1;
}
