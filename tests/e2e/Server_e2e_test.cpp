// The real cfgserver process, each test with a runtime directory of its own:
// damage met at start, clean stops and snapshots, bad and stalled clients,
// refused starts, limits, file modes, pipelined writers.
#include "tests/support/ServerProcess.h"

#include <ace/LSOCK_Connector.h>
#include <ace/UNIX_Addr.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <thread>

#include "cfgmsg/CfgAdmin.h"
#include "cfgmsg/LxIpcClient.h"
#include "cfgwire/Messages.h"
#include "cfgwire/RuntimeDirectory.h"
#include "recovery/SalvageReader.h"
#include "recovery/SnapshotWriter.h"
#include "store/ConfigStore.h"
#include "tests/support/HandWrittenFrame.h"
#include "tests/support/RawClient.h"
#include "tests/support/TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

using wire::Operation;

using Client = quenlo_test::RawClient;
// The server closes a stalled connection after 10 s; this allows for an emulator.
constexpr int kStallCloseSeconds = 30;

std::string Frame(Operation operation, const std::string& key = "", const std::string& value = "") {
  return quenlo_test::RequestFrame(operation, "set", "section", key, value);
}
std::string Value(Client& client, const std::string& key) {
  return client.Exchange(Frame(Operation::kGetValue, key)).value;
}

// The names in directory that start with prefix.
std::vector<std::string> FilesStartingWith(const std::string& directory, const std::string& prefix) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    if (entry.path().filename().string().rfind(prefix, 0) == 0) names.push_back(entry.path().string());
  return names;
}

std::string RandomBytes(std::size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(count, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator() & 0xff);
  return bytes;
}

// key -> value of the database at path; every key the tests write is in one
// section.
std::map<std::string, std::string> ValuesIn(const std::string& database) {
  std::vector<ConfigRow> rows;
  EXPECT_TRUE(SalvageReader::ReadRows(database, nullptr, &rows).ok());
  std::map<std::string, std::string> values;
  for (const ConfigRow& row : rows) values[row.key] = row.value;
  return values;
}

// The real cfgserver, started before each test in a runtime directory of
// its own.
class CfgserverEndToEnd : public ::testing::Test {
 protected:
  static constexpr int kMaxClients = 3, kRefused = 20;

  void SetUp() override { StartServer(); }
  void StartServer(const std::vector<std::string>& arguments = {}) {
    const LxStatus status = server_.Start({directory_.File("run"), Database(), {}, arguments});
    ASSERT_TRUE(status.ok()) << status.ToString();
  }
  void StopCleanly() {
    quenlo_test::ExitStatus status;
    ASSERT_TRUE(server_.Stop(&status).ok());
    ASSERT_TRUE(status.IsExit(0)) << status.ToString();
  }
  void Restart(const std::vector<std::string>& arguments) {
    StopCleanly();
    StartServer(arguments);
  }
  // One request on a connection of its own.
  wire::Reply Ask(Operation operation, const std::string& key = "", const std::string& value = "") {
    return Client(Socket()).Exchange(Frame(operation, key, value));
  }
  const std::string& Socket() const { return server_.socketPath(); }
  std::string Database() const { return directory_.File("config.db"); }
  std::string Snapshot() const { return Database() + ".snapshot"; }
  // Each snapshot is a new file renamed into place, so an unchanged inode
  // means it was not written again; 0 while there is none.
  ino_t SnapshotInode() const {
    struct stat status;
    return stat(Snapshot().c_str(), &status) == 0 ? status.st_ino : ino_t(0);
  }

  static std::string BigValue() { return std::string(16 * 1024, 'v'); }
  static std::string StalledRequest() { return Frame(Operation::kSetValue, "stalled", "x"); }
  // Fills the store through writer with values whose listing is about 1 MB,
  // far more than a socket buffer; then hog asks for that listing 8 times
  // and reads nothing, and halfFrame sends half of StalledRequest().
  void StallClients(Client& writer, Client& hog, Client& halfFrame) {
    for (int index = 0; index < 64; ++index)
      ASSERT_EQ(writer.Exchange(Frame(Operation::kSetValue, "k" + std::to_string(index), BigValue())).status,
                CfgItemStatus::kSuccess);
    for (int index = 0; index < 8; ++index) ASSERT_TRUE(hog.Send(Frame(Operation::kGetKeysAndValues)));
    ASSERT_TRUE(halfFrame.Send(StalledRequest().substr(0, StalledRequest().size() / 2)));
  }

  // Starts limited with room for kMaxClients, fills its places with clients
  // that were served, then opens kRefused more connections, each of which
  // the server must close at once. Each served client keeps an import under
  // way, so none is idle and none gives its place to a newcomer.
  void FillThenOverflow(quenlo_test::ServerProcess& limited, std::vector<std::unique_ptr<Client>>* served) {
    const LxStatus started = limited.Start({directory_.File("limited"), directory_.File("limited.db"), {},
                                            {"--max-clients=" + std::to_string(kMaxClients)}});
    ASSERT_TRUE(started.ok()) << started.ToString();
    for (int index = 0; index < kMaxClients; ++index) {
      served->emplace_back(new Client(limited.socketPath()));
      ASSERT_EQ(served->back()->Exchange(Frame(Operation::kSetValue, "key", "v")).status, CfgItemStatus::kSuccess);
      ASSERT_EQ(served->back()->Exchange(Frame(Operation::kImportBegin)).status, CfgItemStatus::kSuccess);
    }
    for (int index = 0; index < kRefused; ++index) EXPECT_TRUE(Client(limited.socketPath()).ClosedByServer());
  }

  // Clients send all their requests at once, writes and reads of their own
  // keys interleaved, so writes from several clients meet in groups: each
  // gets its replies in its own order, every read seeing that client's last
  // write. With leavers, before each client another one sends a write and
  // hangs up without waiting for its commit.
  void ExpectPipelinedWritersServed(bool leavers) {
    constexpr int kClients = 8, kRounds = 20;
    std::vector<std::unique_ptr<Client>> clients;
    for (int client = 0; client < kClients; ++client) {
      if (leavers) {
        ASSERT_TRUE(Client(Socket()).Send(Frame(Operation::kSetValue, "leaver", std::to_string(client))));
      }
      clients.emplace_back(new Client(Socket()));
      std::string script;
      for (int round = 0; round < kRounds; ++round)
        script += Frame(Operation::kSetValue, "c" + std::to_string(client), std::to_string(round)) +
                  Frame(Operation::kGetValue, "c" + std::to_string(client));
      ASSERT_TRUE(clients.back()->Send(script));
    }
    for (int client = 0; client < kClients; ++client)
      for (int round = 0; round < kRounds; ++round) {
        ASSERT_EQ(clients[client]->Receive().status, CfgItemStatus::kSuccess) << client << " " << round;
        const wire::Reply read = clients[client]->Receive();
        ASSERT_EQ(read.status, CfgItemStatus::kSuccess);
        ASSERT_EQ(read.value, std::to_string(round)) << client;
      }
    EXPECT_EQ(Ask(Operation::kGetValue, "c" + std::to_string(kClients - 1)).value, std::to_string(kRounds - 1));
  }

  quenlo_test::TemporaryDirectory directory_;
  quenlo_test::ServerProcess server_;
};

// Each kind of damage, with and without a snapshot and imports: the server
// starts, keeps the damaged file untouched under a new name, and serves what
// could be recovered. The database holds kKeys keys written in key order, so
// its middle page holds middle keys; its first key has an operator's value.
TEST_F(CfgserverEndToEnd, DamagedDatabasesAreMovedAsideAndRebuiltFromWhatIsLeft) {
  constexpr int kKeys = 300;
  const auto keyName = [](int index) { return "k" + std::to_string(1000 + index); };
  std::vector<ConfigRow> rows;
  std::string defaults = "[s]\n";
  for (int index = 0; index < kKeys; ++index) {
    rows.push_back({"defaults", "s", keyName(index), index == 0 ? "operator" : std::string(150, 'v')});
    defaults += keyName(index) + " = default\n";
  }
  const std::string ini = directory_.File("defaults.ini"), clean = directory_.File("clean.db");
  ASSERT_TRUE(quenlo_test::WriteFile(ini, defaults));
  {
    std::unique_ptr<ConfigStore> store;
    std::uint64_t added = 0;
    ASSERT_TRUE(ConfigStore::Open(clean, &store).ok());
    ASSERT_TRUE(store->recovery().AddMissing(rows, &added).ok());
    ASSERT_TRUE(SnapshotWriter::Write(*store, clean + ".snapshot", nullptr).ok());
  }
  const std::string cleanBytes = quenlo_test::ReadFile(clean);
  const std::size_t pageSize = 256 * std::uint8_t(cleanBytes[16]) + std::uint8_t(cleanBytes[17]);
  ASSERT_GT(cleanBytes.size(), 8 * pageSize);

  enum class Damage { kZeroedHeader, kFirstPageOnly, kNotADatabase, kRandomMiddlePage };
  struct Case {
    Damage damage;
    bool snapshot, import;
    int fewestKeys, mostKeys;
    const char* firstValue;  // "" for a missing key
  };
  const Case cases[] = {
      {Damage::kZeroedHeader, true, false, kKeys, kKeys, "operator"},        // all from the snapshot
      {Damage::kFirstPageOnly, false, true, kKeys, kKeys, "default"},        // all from the imports
      {Damage::kNotADatabase, false, false, 0, 0, ""},                       // nothing to recover
      {Damage::kRandomMiddlePage, false, false, kKeys / 2, kKeys - 1, "operator"},  // both sides of the page
      {Damage::kRandomMiddlePage, true, true, kKeys, kKeys, "operator"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE("damage " + std::to_string(int(test.damage)) + (test.snapshot ? " with snapshot" : "") +
                 (test.import ? " with import" : ""));
    const quenlo_test::TemporaryDirectory caseDirectory;
    const std::string database = caseDirectory.File("config.db");
    std::string damaged = cleanBytes;
    if (test.damage == Damage::kZeroedHeader) damaged.replace(0, 100, 100, '\0');
    if (test.damage == Damage::kFirstPageOnly) damaged.resize(pageSize);
    if (test.damage == Damage::kNotADatabase) damaged = "this is not a database\n";
    if (test.damage == Damage::kRandomMiddlePage)
      damaged.replace(damaged.size() / pageSize / 2 * pageSize, pageSize, RandomBytes(pageSize, 6));
    ASSERT_TRUE(quenlo_test::WriteFile(database, damaged));
    if (test.snapshot) {
      ASSERT_TRUE(quenlo_test::WriteFile(database + ".snapshot", quenlo_test::ReadFile(clean + ".snapshot")));
    }

    quenlo_test::ServerProcess server;
    const LxStatus started = server.Start({caseDirectory.File("run"), database,
                                           test.import ? std::vector<std::string>{ini} : std::vector<std::string>{},
                                           {}});
    ASSERT_TRUE(started.ok()) << started.ToString();
    const auto ask = [&server](Operation operation, const std::string& set, const std::string& key = "") {
      return Client(server.socketPath()).Exchange(quenlo_test::RequestFrame(operation, set, "s", key, "v"));
    };
    const wire::Reply listing = ask(Operation::kGetKeysAndValues, "defaults");
    EXPECT_EQ(listing.status, CfgItemStatus::kSuccess);
    EXPECT_GE(int(listing.pairs.size()), test.fewestKeys);
    EXPECT_LE(int(listing.pairs.size()), test.mostKeys);
    EXPECT_EQ(ask(Operation::kGetValue, "defaults", keyName(0)).value, test.firstValue);
    if (test.fewestKeys > 0) {
      EXPECT_EQ(ask(Operation::kGetValue, "defaults", keyName(kKeys - 1)).status, CfgItemStatus::kSuccess);
    }
    EXPECT_EQ(ask(Operation::kSetValue, "after", "k").status, CfgItemStatus::kSuccess);
    quenlo_test::ExitStatus status;
    ASSERT_TRUE(server.Stop(&status).ok());  // and the log is complete
    EXPECT_TRUE(status.IsExit(0)) << status.ToString();

    const std::vector<std::string> kept = FilesStartingWith(caseDirectory.path(), "config.db.damaged-");
    ASSERT_EQ(kept.size(), 1u) << server.errors();
    EXPECT_TRUE(quenlo_test::ReadFile(kept[0]) == damaged) << "the damaged file was changed";
    EXPECT_NE(server.errors().find("ERROR cfgserver: database " + database), std::string::npos) << server.errors();
    EXPECT_NE(server.errors().find("moved to " + kept[0]), std::string::npos) << server.errors();
  }
}

// A clean stop folds the log into the database: the file alone, what a
// backup or a recovery reads, holds every acknowledged write, whatever the
// snapshot interval the server ran with.
TEST_F(CfgserverEndToEnd, CleanStopLeavesEveryAcknowledgedWriteInTheDatabaseFile) {
  std::map<std::string, std::string> acknowledged;
  for (const char* interval : {"", "0", "1"}) {  // "": the default, the server SetUp started
    SCOPED_TRACE(std::string("snapshot interval ") + interval);
    if (*interval != '\0') StartServer({"--snapshot-interval", interval});
    for (int index = 0; index < 60; ++index) {
      const std::string key = "k" + std::to_string(index % 40), value = interval + std::to_string(index);
      ASSERT_EQ(Ask(Operation::kSetValue, key, value).status, CfgItemStatus::kSuccess);
      acknowledged[key] = value;
    }
    StopCleanly();
    EXPECT_NE(access((Database() + "-wal").c_str(), F_OK), 0);
    // Read from a copy without its -wal and -shm files.
    const std::string copy = directory_.File("copy.db");
    std::filesystem::copy_file(Database(), copy, std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(ValuesIn(copy), acknowledged);
  }
}

TEST_F(CfgserverEndToEnd, CleanStopWritesAPrivateSnapshotOfTheLastWrite) {
  ASSERT_EQ(Ask(Operation::kSetValue, "key", "at stop").status, CfgItemStatus::kSuccess);
  StopCleanly();
  EXPECT_EQ(ValuesIn(Snapshot())["key"], "at stop");
  struct stat status;
  ASSERT_EQ(stat(Snapshot().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
}

// Neither the intervals nor the stop of the next run copy it again.
TEST_F(CfgserverEndToEnd, AnUnchangedStoreIsNotSnapshottedAgain) {
  ASSERT_EQ(Ask(Operation::kSetValue, "key", "at stop").status, CfgItemStatus::kSuccess);
  Restart({"--snapshot-interval", "1"});
  const ino_t atStop = SnapshotInode();
  ASSERT_NE(atStop, ino_t(0)) << "no snapshot at stop";
  sleep(2);  // two intervals without a change
  Restart({"--snapshot-interval", "0"});
  EXPECT_EQ(SnapshotInode(), atStop);
}

TEST_F(CfgserverEndToEnd, APeriodicSnapshotIsWrittenOnceAfterAChange) {
  ASSERT_EQ(Ask(Operation::kSetValue, "key", "at stop").status, CfgItemStatus::kSuccess);
  Restart({"--snapshot-interval", "1"});
  const ino_t atStop = SnapshotInode();
  ASSERT_EQ(Ask(Operation::kSetValue, "key", "periodic").status, CfgItemStatus::kSuccess);
  const auto deadline = std::chrono::steady_clock::now() + quenlo_test::ServerProcess::kDefaultTimeout;
  while (SnapshotInode() == atStop && std::chrono::steady_clock::now() < deadline) usleep(50 * 1000);
  ASSERT_NE(SnapshotInode(), atStop) << "no periodic snapshot";
  EXPECT_EQ(ValuesIn(Snapshot())["key"], "periodic");
  const ino_t periodic = SnapshotInode();
  sleep(2);  // two more intervals without a change
  Restart({"--snapshot-interval", "0"});
  EXPECT_EQ(SnapshotInode(), periodic);
}

TEST_F(CfgserverEndToEnd, BadFramesCloseOnlyTheirOwnConnection) {
  Client bystander(Socket());
  ASSERT_EQ(bystander.Exchange(Frame(Operation::kSetValue, "key", "v")).status, CfgItemStatus::kSuccess);
  std::string badVersion = Frame(Operation::kGetSets), badOrder = badVersion, oversized = badVersion;
  badVersion[2] = 99;
  badOrder[3] = 7;
  oversized.replace(4, 4, "\x7f\x7f\x7f\x7f");  // 2 GB in either byte order
  // Headers alone, announcing 1 MiB and one byte over the largest legal
  // request: refused before any body arrives.
  std::string announcesMebibyte = {'Q', 'C', wire::kFirstProtocolVersion, 0}, justOver = announcesMebibyte;
  quenlo_test::HandWrittenFrame(false).ULong(1024 * 1024, &announcesMebibyte).ULong(wire::kMaxRequestBodyBytes + 1, &justOver);
  for (const std::string& frame :
       {std::string("garbage!garbage!"), badVersion, badOrder, oversized, announcesMebibyte, justOver}) {
    Client offender(Socket());
    ASSERT_TRUE(offender.Send(frame));
    EXPECT_TRUE(offender.ClosedByServer());
    EXPECT_EQ(Value(bystander, "key"), "v");
  }
}

TEST_F(CfgserverEndToEnd, FramesInTheOtherByteOrderAreUnderstood) {
  const bool otherOrder = Frame(Operation::kGetSets)[3] == 0;  // the opposite of this machine's order
  const std::string frame = quenlo_test::HandWrittenFrame(otherOrder)
                                .ULong(std::uint32_t(Operation::kSetValue)).ULong(0)
                                .String("client").String("tag").String("set").String("section").String("key")
                                .String("from the other side")
                                .Frame();
  EXPECT_EQ(Client(Socket()).Exchange(frame).status, CfgItemStatus::kSuccess);
  EXPECT_EQ(Ask(Operation::kGetValue, "key").value, "from the other side");
}

// Not even the stalled client itself, once its request is complete.
TEST_F(CfgserverEndToEnd, StalledAndNonReadingClientsBlockNobody) {
  Client writer(Socket()), hog(Socket()), halfFrame(Socket());
  StallClients(writer, hog, halfFrame);
  EXPECT_EQ(Value(writer, "k1"), BigValue());
  ASSERT_TRUE(halfFrame.Send(StalledRequest().substr(StalledRequest().size() / 2)));
  EXPECT_EQ(halfFrame.Receive().status, CfgItemStatus::kSuccess);
}

TEST_F(CfgserverEndToEnd, StalledAndNonReadingClientsAloneAreClosedAfterTenSeconds) {
  Client writer(Socket()), hog(Socket()), halfFrame(Socket());
  StallClients(writer, hog, halfFrame);
  // The hog is read only once the server gave up on it: reading its replies
  // would make it a client that reads.
  const quenlo_test::Duration stallClose = std::chrono::seconds(kStallCloseSeconds);
  EXPECT_TRUE(server_.WaitForLog("closing a connection that did not read its reply", stallClose).ok())
      << server_.errors();
  EXPECT_TRUE(hog.ClosedByServer(kStallCloseSeconds));
  EXPECT_TRUE(halfFrame.ClosedByServer(kStallCloseSeconds));
  EXPECT_EQ(Value(writer, "k1"), BigValue());
  EXPECT_TRUE(server_.WaitForLog("closing a connection that held an incomplete request").ok()) << server_.errors();
}

// A second server on a held database (which is not damaged) or a taken
// runtime directory, on a directory that is not private or holds something
// else at the socket's name, or with a bad snapshot interval, refuses to
// start and changes nothing.
TEST_F(CfgserverEndToEnd, RefusedStartsChangeNothing) {
  ASSERT_EQ(Ask(Operation::kSetValue, "key", "v").status, CfgItemStatus::kSuccess);
  const std::string open = directory_.File("open"), occupied = directory_.File("occupied");
  ASSERT_EQ(mkdir(open.c_str(), 0777) | chmod(open.c_str(), 0777) | mkdir(occupied.c_str(), 0700), 0);
  ASSERT_TRUE(quenlo_test::WriteFile(occupied + "/" + wire::kServerEndpoint, "not a socket"));
  const std::string held = "--database=" + Database();
  const std::string other = "--database=" + directory_.File("2.db");
  const std::string run = "--runtime-dir=" + directory_.File("run"), run2 = "--runtime-dir=" + directory_.File("run2");
  // Defaults their own schema refuses: a firmware that must not start.
  const std::string schema = directory_.File("network.schema"), defaults = directory_.File("defaults/network.ini");
  ASSERT_EQ(mkdir(directory_.File("defaults").c_str(), 0700), 0);
  ASSERT_TRUE(quenlo_test::WriteFile(schema, "[eth*]\nmtu = integer 68..9000\n"));
  ASSERT_TRUE(quenlo_test::WriteFile(defaults, "[eth0]\nmtu = 1500\n[eth1]\nmtu = 15OO\n"));
  const struct {
    std::vector<std::string> arguments;
    int exitCode;
    const char* complaint;
  } cases[] = {{{run2, held}, 1, "another process holds the database"},
               {{run, other}, 1, "another server is already listening on"},
               {{"--runtime-dir=" + open, other}, 1, "writable by others"},
               {{"--runtime-dir=" + occupied, other}, 1, "exists and is not a socket"},
               {{run2, other, "--schema=" + schema, "--import=" + defaults},
                1,
                "network.ini: line 4: [eth1] mtu: 15OO is not an integer in 68..9000"},
               {{"--snapshot-interval=86401"}, 2, ""},
               {{"--snapshot-interval=-1"}, 2, ""},
               {{"--snapshot-interval=1s"}, 2, ""}};
  for (const auto& test : cases) {
    quenlo_test::ChildProcess second;
    quenlo_test::ExitStatus status;
    ASSERT_TRUE(second.Start(quenlo_test::ServerProcess::ExecutablePath(), test.arguments, {{}, true}).ok());
    ASSERT_TRUE(second.Wait(quenlo_test::ServerProcess::kDefaultTimeout, &status).ok());
    EXPECT_TRUE(status.IsExit(test.exitCode)) << test.arguments[0] << " " << status.ToString() << second.errors();
    EXPECT_NE(second.errors().find(test.complaint), std::string::npos) << second.errors();
  }
  EXPECT_TRUE(FilesStartingWith(directory_.path(), "config.db.damaged-").empty());
  EXPECT_EQ(Ask(Operation::kGetValue, "key").value, "v");
}

TEST_F(CfgserverEndToEnd, CleanStopRemovesTheSocket) {
  StopCleanly();
  EXPECT_NE(access(Socket().c_str(), F_OK), 0) << "socket file left behind";
}

TEST_F(CfgserverEndToEnd, AKilledServersStaleSocketIsReplaced) {
  ASSERT_TRUE(server_.Kill().ok());
  ASSERT_EQ(access(Socket().c_str(), F_OK), 0);
  StartServer();
  EXPECT_EQ(Ask(Operation::kGetSets).status, CfgItemStatus::kSuccess);
}

// While those served keep their places.
TEST_F(CfgserverEndToEnd, ConnectionsPastMaxClientsAreClosedAtOnce) {
  quenlo_test::ServerProcess limited;
  std::vector<std::unique_ptr<Client>> served;
  FillThenOverflow(limited, &served);
  for (auto& client : served) EXPECT_EQ(Value(*client, "key"), "v");
}

TEST_F(CfgserverEndToEnd, ABurstOfRefusedConnectionsLogsOneWarning) {
  quenlo_test::ServerProcess limited;
  std::vector<std::unique_ptr<Client>> served;
  FillThenOverflow(limited, &served);
  ASSERT_TRUE(limited.WaitForLog("refused " + std::to_string(kRefused) + " connections").ok()) << limited.errors();
  std::size_t warnings = 0;
  for (std::size_t at = 0; (at = limited.errors().find(" WARNING ", at)) != std::string::npos; ++at) ++warnings;
  EXPECT_EQ(warnings, 1u) << limited.errors();
}

// The server may see the hang-up after the new connection, so a refusal is
// retried.
TEST_F(CfgserverEndToEnd, AFreedPlaceIsTakenByTheNextClient) {
  quenlo_test::ServerProcess limited;
  std::vector<std::unique_ptr<Client>> served;
  FillThenOverflow(limited, &served);
  served.pop_back();
  CfgItemStatus::Status status = CfgItemStatus::kNoServer;
  for (int attempt = 0; attempt < 50 && status != CfgItemStatus::kSuccess; ++attempt)
    status = Client(limited.socketPath()).Exchange(Frame(Operation::kGetSets)).status;
  EXPECT_EQ(status, CfgItemStatus::kSuccess);
}

// The database is private; the socket and the directories on its way are
// reachable by every user, as the server decides by credentials.
TEST_F(CfgserverEndToEnd, DatabaseFilesArePrivateAndTheSocketReachableWhateverTheUmask) {
  quenlo_test::ServerProcess server;
  const std::string top = directory_.File("private"), database = top + "/data/config.db";
  const mode_t previous = umask(0);
  const LxStatus started = server.Start({top + "/run", database, {}, {}});
  umask(previous);
  ASSERT_TRUE(started.ok()) << started.ToString();
  ASSERT_EQ(Client(server.socketPath()).Exchange(Frame(Operation::kSetValue, "wifi-key", "secret")).status,
            CfgItemStatus::kSuccess);
  for (auto [path, mode] : {std::pair<std::string, mode_t>{database, 0600}, {database + "-wal", 0600},
                            {server.socketPath(), 0666}, {top, 0755}, {top + "/run", 0755}, {top + "/data", 0700}}) {
    struct stat status;
    ASSERT_EQ(lstat(path.c_str(), &status), 0) << path;
    EXPECT_EQ(status.st_mode & 0777, mode) << path;
  }
}

TEST_F(CfgserverEndToEnd, PipelinedWritersAreAnsweredInTheirOwnOrderWithTheirOwnWrites) {
  ExpectPipelinedWritersServed(false);
}

TEST_F(CfgserverEndToEnd, WritersThatHangUpBeforeTheirCommitHarmNobody) { ExpectPipelinedWritersServed(true); }


// The bounds of what clients can make the server hold: places at the client
// limit, watchers, memory, imports under way and the size of a set. Memory
// is read from the server's /proc status; a sanitizer's own bookkeeping
// (quarantined frees, shadow memory) would swamp it, so a sanitized build
// checks everything but the resident size.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMemoryIsMeasurable = false;
#else
constexpr bool kMemoryIsMeasurable = true;
#endif

// The server's resident memory in KiB, through the process at the other end
// of a connection to socketPath (under an emulator, the emulator's).
long ServerResidentKiB(const std::string& socketPath) {
  ACE_LSOCK_Stream stream;
  if (ACE_LSOCK_Connector().connect(stream, ACE_UNIX_Addr(socketPath.c_str())) != 0) return -1;
  ucred peer{};
  socklen_t length = sizeof peer;
  const int found = getsockopt(stream.get_handle(), SOL_SOCKET, SO_PEERCRED, &peer, &length);
  stream.close();
  if (found != 0) return -1;
  std::ifstream status("/proc/" + std::to_string(peer.pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size()) ++count;
  return count;
}

// Waits until the server logged any of lines count times in all; the
// deadline only catches a hang (the server may run under an emulator or a
// sanitizer).
bool WaitForLogLines(quenlo_test::ServerProcess& server, const std::vector<std::string>& lines, std::size_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (;;) {
    std::size_t logged = 0;
    for (const std::string& line : lines) logged += Occurrences(server.errors(), line);
    if (logged >= count) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    server.WaitForLog(lines.front(), quenlo_test::Duration(100));  // brings errors() up to date
  }
}

// Connections that send a request each and never read the reply.
class Hogs {
 public:
  ~Hogs() {
    for (auto& stream : streams_) stream->close();
  }
  bool Ask(const std::string& socketPath, const std::string& frame) {
    streams_.emplace_back(new ACE_LSOCK_Stream);
    const ACE_Time_Value timeout(quenlo_test::RawClient::kTimeoutSeconds);
    return ACE_LSOCK_Connector().connect(*streams_.back(), ACE_UNIX_Addr(socketPath.c_str())) == 0 &&
           streams_.back()->send_n(frame.data(), frame.size(), MSG_NOSIGNAL, &timeout) == ssize_t(frame.size());
  }
  // Whether every request was answered (its first bytes, or the close,
  // arrived) before a deadline that only catches a hang.
  bool AllAnswered() {
    std::vector<pollfd> waiting;
    for (auto& stream : streams_) waiting.push_back({stream->get_handle(), POLLIN, 0});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!waiting.empty() && std::chrono::steady_clock::now() < deadline) {
      if (poll(waiting.data(), waiting.size(), 100) < 0) return false;
      waiting.erase(std::remove_if(waiting.begin(), waiting.end(), [](const pollfd& one) { return one.revents != 0; }),
                    waiting.end());
    }
    return waiting.empty();
  }

 private:
  std::vector<std::unique_ptr<ACE_LSOCK_Stream>> streams_;
};

// An export asked for whole, in one reply, as no client of this tree asks.
std::string WholeExportFrame(const std::string& set) {
  std::string frame;
  EXPECT_TRUE(wire::EncodeRequestFrame(quenlo_test::TestRequest(Operation::kExport, set), &frame).ok());
  return frame;
}

std::string SubscribeFrame() { return quenlo_test::RequestFrame(Operation::kSubscribe, "", ""); }

// count values of valueBytes each in set "big", section "s".
std::vector<ConfigEntry> BigSet(std::size_t count, std::size_t valueBytes) {
  std::vector<ConfigEntry> entries;
  for (std::size_t index = 0; index < count; ++index)
    entries.push_back({"s", "k" + std::to_string(1000000 + index), std::string(valueBytes, char('a' + index % 26))});
  return entries;
}

class CfgserverBoundsEndToEnd : public CfgserverEndToEnd {
 protected:
  // The idle time after which the server may close a connection for a
  // newcomer, with room for a slow machine.
  static void WaitUntilIdleLongEnough() { std::this_thread::sleep_for(std::chrono::milliseconds(1500)); }

  std::unique_ptr<LxIpcClient> Library() {
    return std::make_unique<LxIpcClient>("bounds-test", Socket(), ACE_Time_Value(10));
  }
};

// The client library reconnects on its next request; a raw client just
// finds its connection closed.
TEST_F(CfgserverBoundsEndToEnd, IdleConnectionsMakeRoomForNewcomersAtTheClientLimit) {
  Restart({"--max-clients=3"});
  std::unique_ptr<LxIpcClient> library = Library();
  ASSERT_EQ(library->WriteValue("set", "section", "key", "v", "t"), CfgItemStatus::kSuccess);
  Client silent(Socket()), alsoSilent(Socket());  // never send a byte
  WaitUntilIdleLongEnough();

  Client newcomer(Socket());  // takes the library's place, idle the longest
  EXPECT_EQ(Value(newcomer, "key"), "v");
  std::string value;
  EXPECT_EQ(library->ReadValue("set", "section", "key", value, "t"), CfgItemStatus::kSuccess);
  EXPECT_EQ(value, "v");
  EXPECT_TRUE(silent.ClosedByServer());  // the next longest idle
  EXPECT_TRUE(server_.WaitForLog("closed 2 idle connections to make room").ok()) << server_.errors();
}

// Watchers are not counted among the clients, are never closed for being
// idle, and have a limit of their own.
TEST_F(CfgserverBoundsEndToEnd, WatchersCountAgainstALimitOfTheirOwn) {
  Restart({"--max-clients=1", "--max-watchers=1"});
  Client watcher(Socket());
  ASSERT_EQ(watcher.Exchange(SubscribeFrame()).status, CfgItemStatus::kSuccess);
  Client client(Socket());
  ASSERT_EQ(client.Exchange(Frame(Operation::kSetValue, "key", "v")).status, CfgItemStatus::kSuccess);
  EXPECT_EQ(client.Exchange(SubscribeFrame()).status, CfgItemStatus::kRejected);
  WaitUntilIdleLongEnough();
  EXPECT_EQ(Ask(Operation::kGetValue, "key").value, "v");  // takes the idle client's place
  EXPECT_TRUE(client.ClosedByServer());
  EXPECT_EQ(watcher.Receive().kind, wire::ReplyKind::kNotification);  // still there, told of the write
}

// Clients that ask for a large export or listing and never read are given
// up, the biggest first, so the server holds no more than its budget, and a
// client that reads is answered meanwhile.
TEST_F(CfgserverBoundsEndToEnd, NonReadingClientsOfALargeExportStayWithinTheMemoryBudget) {
  constexpr std::size_t kValues = 128, kValueBytes = 16 * 1024;  // 2 MiB
  constexpr int kHogs = 16;  // 32 MiB of replies, were they all held
  StopCleanly();
  {
    std::unique_ptr<ConfigStore> store;
    ASSERT_TRUE(ConfigStore::Open(Database(), &store).ok());
    CommittedRevision unused;
    ASSERT_TRUE(store->layers().ImportSet("big", BigSet(kValues, kValueBytes), true, ChangeNote(), &unused).ok());
  }
  StartServer({"--max-client-memory=3"});
  Client reader(Socket());
  ASSERT_EQ(reader.Exchange(WholeExportFrame("big")).records.size(), kValues);  // and the memory it takes once
  const long before = ServerResidentKiB(Socket());

  const std::string listing = quenlo_test::RequestFrame(Operation::kGetKeysAndValues, "big", "s");
  Hogs hogs;
  for (int index = 0; index < kHogs; ++index)
    ASSERT_TRUE(hogs.Ask(Socket(), index % 2 == 0 ? WholeExportFrame("big") : listing));
  ASSERT_TRUE(hogs.AllAnswered());
  const long after = ServerResidentKiB(Socket());  // well before a hog's reply times out
  // Each reply after the first made the one held before it give way, or
  // gave way itself when it was the bigger.
  EXPECT_TRUE(WaitForLogLines(server_,
                              {"closing a connection to free the client memory", "does not fit in the client memory"},
                              kHogs - 1))
      << server_.errors();
  EXPECT_EQ(reader.Exchange(Frame(Operation::kGetValue, "nothing")).status, CfgItemStatus::kKeyNotFound);
  if (kMemoryIsMeasurable) {
    // The budget and one reply under way, with room for the allocator: far
    // below the replies of every hog.
    EXPECT_LT(after - before, 16 * 1024) << "KiB before " << before << ", after " << after;
  }
}

// Watchers that never read are told they missed what their queues could
// not hold, and together hold no more than the budget.
TEST_F(CfgserverBoundsEndToEnd, SilentWatchersUnderManyWritesStayBoundedAndAreToldWhatTheyMissed) {
  constexpr int kWatchers = 40;
  constexpr std::size_t kWrites = 2000;  // 2 MiB of notifications for each watcher
  Restart({"--max-watchers=" + std::to_string(kWatchers), "--max-client-memory=4"});
  std::vector<std::unique_ptr<Client>> watchers;
  for (int index = 0; index < kWatchers; ++index) {
    watchers.emplace_back(new Client(Socket()));
    ASSERT_EQ(watchers.back()->Exchange(SubscribeFrame()).status, CfgItemStatus::kSuccess);
  }
  std::unique_ptr<LxIpcClient> library = Library();
  ASSERT_EQ(ImportCfgSet(*library, "big", BigSet(kWrites / 2, 1024), false, "t"), CfgItemStatus::kSuccess);
  const long before = ServerResidentKiB(Socket());
  ASSERT_EQ(ImportCfgSet(*library, "big", BigSet(kWrites, 1000), false, "t"), CfgItemStatus::kSuccess);
  const long after = ServerResidentKiB(Socket());
  ASSERT_EQ(library->WriteValue("set", "section", "last", "v", "t"), CfgItemStatus::kSuccess);

  // What the socket took first, then the count of what was dropped, then
  // whatever came after it.
  std::uint64_t missed = 0;
  wire::Reply next;
  do {
    next = watchers.front()->Receive();
    missed += next.missed;
  } while (next.status == CfgItemStatus::kSuccess && (next.records.empty() || next.records.front().key != "last"));
  EXPECT_EQ(next.status, CfgItemStatus::kSuccess);
  EXPECT_GT(missed, 0u);
  if (kMemoryIsMeasurable) {
    EXPECT_LT(after - before, 24 * 1024) << "KiB before " << before << ", after " << after;
  }
}

// An import that stops sending, to be committed (and confirmed) or only
// previewed, is dropped after --import-timeout, freeing its staging: its
// end then finds nothing under way, and nothing awaits confirmation.
TEST_F(CfgserverBoundsEndToEnd, AStalledImportIsDroppedAfterItsTimeout) {
  Restart({"--import-timeout=1"});
  Client stalled(Socket());
  wire::Request entries = quenlo_test::TestRequest(Operation::kImportEntries);
  entries.entries = {{wire::RecordKind::kValue, "", "s", "k", "v", ""}};
  std::string frame;
  ASSERT_TRUE(wire::EncodeRequestFrame(entries, &frame).ok());
  std::size_t dropped = 0;
  for (const Operation end : {Operation::kImportCommit, Operation::kImportPreview}) {
    ASSERT_EQ(stalled.Exchange(Frame(Operation::kImportBegin)).status, CfgItemStatus::kSuccess);
    ASSERT_EQ(stalled.Exchange(frame).status, CfgItemStatus::kSuccess);
    ASSERT_TRUE(WaitForLogLines(server_, {"dropping an import that had no request for 1 seconds"}, ++dropped))
        << server_.errors();
    wire::Request ending = quenlo_test::TestRequest(end);
    if (end == Operation::kImportCommit) ending.confirmSeconds = 60;
    std::string endFrame;
    ASSERT_TRUE(wire::EncodeRequestFrame(ending, &endFrame).ok());
    EXPECT_EQ(stalled.Exchange(endFrame).status, CfgItemStatus::kRejected) << wire::OperationName(end);
  }
  EXPECT_EQ(Client(Socket()).Exchange(WholeExportFrame("set")).records.size(), 0u);
  EXPECT_EQ(Client(Socket()).Exchange(Frame(Operation::kConfirm)).status, CfgItemStatus::kKeyNotFound);
}

// Past the 4 MiB one import could once stage: what export gives, import
// --replace takes back, in pieces both ways.
TEST_F(CfgserverBoundsEndToEnd, ASetOfSixMebibytesExportedIsImportedBackWithReplace) {
  const std::vector<ConfigEntry> saved = BigSet(384, 16 * 1024);
  std::unique_ptr<LxIpcClient> library = Library();
  ASSERT_EQ(ImportCfgSet(*library, "big", saved, true, "t"), CfgItemStatus::kSuccess);
  std::vector<ConfigEntry> exported;
  ASSERT_EQ(ExportCfgSet(*library, "big", exported, "t"), CfgItemStatus::kSuccess);
  ASSERT_EQ(exported.size(), saved.size());

  ASSERT_EQ(ResetCfg(*library, {ConfigScope::Level::kSet, "big", "", ""}, "t"), CfgItemStatus::kSuccess);
  ASSERT_EQ(library->WriteValue("big", "s", "extra", "x", "t"), CfgItemStatus::kSuccess);
  ASSERT_EQ(ImportCfgSet(*library, "big", exported, true, "t"), CfgItemStatus::kSuccess);
  std::vector<ConfigEntry> restored;
  ASSERT_EQ(ExportCfgSet(*library, "big", restored, "t"), CfgItemStatus::kSuccess);
  ASSERT_EQ(restored.size(), saved.size());
  for (std::size_t index = 0; index < saved.size(); ++index) {
    ASSERT_EQ(restored[index].key, saved[index].key);
    ASSERT_EQ(restored[index].value, saved[index].value);
  }
}

}  // namespace
}  // namespace qet_cfgserver
