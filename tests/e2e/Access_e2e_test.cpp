// Who may read and write: cfgctl and the console run as the user nobody
// against a server run by the test's user (root), each test in a runtime
// directory of its own; untrusted runtime directories on the client's side
// and the server's; the per-user connection limit; reading the rules again
// on SIGHUP. Switching users needs root: elsewhere the tests skip.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TemporaryDirectory.h"

namespace quenlo_test {
namespace {

// Generous: programs may run under an emulator or sanitizers.
constexpr Duration kDeadline{20000};
// A user with no entry anywhere, owner of what the tests plant.
constexpr uid_t kSquatter = 4343;

const char kRules[] =
    "[network]\n"
    "read = nobody\n"
    "[logging]\n"
    "write = nobody\n";

struct Outcome {
  ExitStatus status;
  std::string output, errors;
};

// A UNIX socket listening at path, as a squatter's would, that the test can
// ask whether anyone connected.
class Listener {
 public:
  explicit Listener(const std::string& path) : socket_(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0)) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    listening_ = bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 listen(socket_, 8) == 0 && chmod(path.c_str(), 0666) == 0;
  }
  ~Listener() { close(socket_); }
  bool listening() const { return listening_; }
  bool SomeoneConnected() const {
    const int connection = accept(socket_, nullptr, nullptr);
    if (connection < 0) return false;
    close(connection);
    return true;
  }

 private:
  int socket_;
  bool listening_ = false;
};

class AccessEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "running clients as another user needs root";
    const passwd* entry = getpwnam("nobody");
    if (entry == nullptr) GTEST_SKIP() << "no user nobody on this system";
    nobody_ = ChildProcess::User{entry->pw_uid, entry->pw_gid};
    // nobody must reach the socket below the test's directory.
    ASSERT_EQ(chmod(directory_.path().c_str(), 0755), 0);
    const Outcome probe = Cfgctl({"--help"});
    if (!probe.status.IsExit(0)) GTEST_SKIP() << "cannot run cfgctl as nobody (setpriv?): " << probe.errors;
    ASSERT_TRUE(WriteFile(directory_.File("network.ini"), "[eth0]\nmtu = 1500\n"));
    ASSERT_TRUE(WriteFile(directory_.File("system.ini"), "[time]\nzone = UTC\n"));
    ASSERT_TRUE(WriteFile(directory_.File("logging.ini"), "[syslog]\nlevel = info\n"));
    ASSERT_TRUE(WriteFile(directory_.File("access.ini"), kRules));
  }

  void StartServer(std::vector<std::string> arguments = {"--access", "ACCESS"}) {
    for (std::string& argument : arguments)
      if (argument == "ACCESS") argument = directory_.File("access.ini");
    const LxStatus started = server_.Start({Runtime(), directory_.File("config.db"),
                                            {directory_.File("network.ini"), directory_.File("system.ini"),
                                             directory_.File("logging.ini")},
                                            arguments});
    ASSERT_TRUE(started.ok()) << started.ToString();
  }

  std::string Runtime() const { return directory_.File("run"); }

  ChildProcess::Options As(std::optional<ChildProcess::User> user, const std::string& runtime = "") const {
    return {{"CFGSERVER_RUNTIME_DIR=" + (runtime.empty() ? Runtime() : runtime)}, true, user};
  }

  // cfgctl as nobody, or as the test's user with asRoot.
  Outcome Cfgctl(const std::vector<std::string>& arguments, bool asRoot = false, const std::string& runtime = "") {
    ChildProcess child;
    Outcome run;
    const LxStatus started =
        child.Start(QUENLO_CFGCTL_PATH, arguments, As(asRoot ? std::nullopt : nobody_, runtime));
    EXPECT_TRUE(started.ok()) << started.ToString();
    EXPECT_TRUE(child.Wait(kDeadline, &run.status).ok());
    run.output = child.output();
    run.errors = child.errors();
    return run;
  }

  // Expects the exit status, and the error line to end with complaint.
  void Expect(const std::vector<std::string>& arguments, int exitStatus, const std::string& complaint,
              bool asRoot = false) {
    const Outcome run = Cfgctl(arguments, asRoot);
    EXPECT_TRUE(run.status.IsExit(exitStatus)) << arguments[0] << ": " << run.status.ToString() << " " << run.errors;
    const bool ends = run.errors.size() >= complaint.size() + 1 &&
                      run.errors.compare(run.errors.size() - complaint.size() - 1, complaint.size(), complaint) == 0;
    if (exitStatus != 0) {
      EXPECT_TRUE(ends) << arguments[0] << ": " << run.errors;
    }
  }

  std::string ExportAsRoot() { return Cfgctl({"export"}, true).output; }

  std::optional<ChildProcess::User> nobody_;
  TemporaryDirectory directory_;
  ServerProcess server_;
};

// The rules come before the schemas: a write nobody may not make is denied
// whatever its value, its schema's verdict untold.
TEST_F(AccessEndToEnd, NobodyReadsAnAllowedSetAndEveryWriteItMayNotMakeIsDeniedChangingNothing) {
  ASSERT_TRUE(WriteFile(directory_.File("network.schema"), "[eth*]\nmtu = integer 68..9000\n"));
  StartServer({"--access", "ACCESS", "--schema", directory_.File("network.schema")});
  const Outcome read = Cfgctl({"get", "network", "eth0", "mtu"});
  EXPECT_TRUE(read.status.IsExit(0)) << read.errors;
  EXPECT_EQ(read.output, "1500\n");

  // logging is writable, system is not: the import writes neither.
  ASSERT_TRUE(WriteFile(directory_.File("both.ini"),
                        "; set logging\n[syslog]\nlevel = debug\n; set system\n[time]\nzone = CET\n"));
  const std::string before = ExportAsRoot();
  const std::vector<std::vector<std::string>> writes = {{"set", "network", "eth0", "mtu", "15OO"},
                                                        {"delete", "network", "eth0", "mtu"},
                                                        {"reset", "network"},
                                                        {"reset"},
                                                        {"import", directory_.File("both.ini")},
                                                        {"import", "--dry-run", directory_.File("both.ini")}};
  for (const auto& write : writes) Expect(write, 6, ": access denied");
  EXPECT_EQ(ExportAsRoot(), before);
}

// History shows old values and rollbacks change any set: nobody, who may
// read network and write logging, sees the revision number and network's
// history, and nothing else of it; a change to be confirmed (its rollback
// would undo others' changes) is denied even on the set it may write.
TEST_F(AccessEndToEnd, NobodySeesOnlyTheHistoryOfSetsItMayReadAndMakesNoChangeToConfirm) {
  StartServer();
  const Outcome revision = Cfgctl({"revision"});
  EXPECT_TRUE(revision.status.IsExit(0)) << revision.errors;
  EXPECT_EQ(revision.output, "3\n");  // the three sets imported at start
  const Outcome network = Cfgctl({"history", "network"});
  EXPECT_TRUE(network.status.IsExit(0)) << network.errors;
  EXPECT_NE(network.output.find("defaults network from"), std::string::npos) << network.output;
  for (const std::vector<std::string>& denied : std::vector<std::vector<std::string>>{
           {"history"}, {"history", "system"}, {"show", "1"}, {"diff", "1"}, {"rollback", "1"}, {"confirm"},
           {"cancel"}, {"set", "--confirm", "60", "logging", "syslog", "level", "debug"}})
    Expect(denied, 6, ": access denied");
  Expect({"set", "logging", "syslog", "level", "debug"}, 0, "");
}

TEST_F(AccessEndToEnd, NobodyNeitherReadsNorListsNorSeesChangesOfASetItMayNotRead) {
  StartServer();
  Expect({"set", "system", "time", "zone", "CET"}, 0, "", true);
  Expect({"set", "network", "eth0", "mtu", "1400"}, 0, "", true);
  Expect({"get", "system", "time", "zone"}, 6, "get system time zone: access denied");
  Expect({"list", "system"}, 6, "list system: access denied");
  const Outcome sets = Cfgctl({"list"});
  EXPECT_EQ(sets.output, "logging\nnetwork\n");
  const Outcome changes = Cfgctl({"changes"});
  EXPECT_EQ(changes.output, "changed network eth0 mtu = 1400 was 1500\n") << changes.errors;
  const Outcome exported = Cfgctl({"export"});
  EXPECT_EQ(exported.output.find("system"), std::string::npos) << exported.output;
  EXPECT_NE(exported.output.find("; set network"), std::string::npos) << exported.output;
}

// nobody's digest of everything is that of the sets it may read: root's
// once the others are gone.
TEST_F(AccessEndToEnd, NobodysDigestCoversTheSetsItMayReadAndASetItMayNotIsDenied) {
  StartServer();
  Expect({"digest", "system"}, 6, "digest system: access denied");
  const Outcome readable = Cfgctl({"digest"});
  ASSERT_TRUE(readable.status.IsExit(0)) << readable.errors;
  EXPECT_NE(readable.output, Cfgctl({"digest"}, true).output);
  Expect({"delete", "system"}, 0, "", true);
  EXPECT_EQ(readable.output, Cfgctl({"digest"}, true).output);
}

TEST_F(AccessEndToEnd, NobodysWatchIsToldOnlyOfSetsItMayRead) {
  StartServer();
  ChildProcess watch;
  ASSERT_TRUE(watch.Start(QUENLO_CFGCTL_PATH, {"watch"}, As(nobody_)).ok());
  // The subscription is in place once a write shows up.
  bool subscribed = false;
  for (int attempt = 0; attempt < 50 && !subscribed; ++attempt) {
    Expect({"set", "network", "probe", "k", std::to_string(attempt)}, 0, "", true);
    subscribed = watch.ReadUntil("network probe k = " + std::to_string(attempt) + "\n", Duration(400)).ok();
  }
  ASSERT_TRUE(subscribed) << watch.output() << watch.errors();
  Expect({"set", "system", "time", "zone", "CET"}, 0, "", true);
  Expect({"set", "network", "eth0", "mtu", "1400"}, 0, "", true);
  ASSERT_TRUE(watch.ReadUntil("network eth0 mtu = 1400\n", kDeadline).ok()) << watch.output();
  EXPECT_EQ(watch.output().find("system"), std::string::npos) << watch.output();
}

TEST_F(AccessEndToEnd, TheConsoleShowsAccessDeniedForARefusedWrite) {
  StartServer();
  ChildProcess console;
  ASSERT_TRUE(console.Start(QUENLO_CLIENT_PATH, {}, As(nobody_)).ok());
  ASSERT_TRUE(console.Write("network,eth0,mtu,9000\nq\n", kDeadline).ok());
  ExitStatus status;
  ASSERT_TRUE(console.Wait(kDeadline, &status).ok());
  EXPECT_NE(console.output().find("    9000    status = access denied\n"), std::string::npos) << console.output();
}

TEST_F(AccessEndToEnd, WithoutAnAccessFileOthersAreDeniedAndWithoutAServerToldThereIsNone) {
  StartServer({});
  Expect({"get", "network", "eth0", "mtu"}, 6, "get network eth0 mtu: access denied");
  Expect({"get", "network", "eth0", "mtu"}, 0, "", true);
  ExitStatus stopped;
  ASSERT_TRUE(server_.Stop(&stopped).ok());
  Expect({"get", "network", "eth0", "mtu"}, 3, "get network eth0 mtu: no server");
}

TEST_F(AccessEndToEnd, ASocketThisUserCannotReachIsPermissionDeniedNotNoServer) {
  StartServer();
  ASSERT_EQ(chmod(Runtime().c_str(), 0700), 0);
  Expect({"get", "network", "eth0", "mtu"}, 6, "permission denied: " + server_.socketPath());
}

// Directories someone else could have planted, with a socket listening in
// each: cfgctl does not even connect.
TEST_F(AccessEndToEnd, UntrustedRuntimeDirectoriesGetNothingFromCfgctl) {
  const std::string shared = directory_.File("tmp"), squatted = shared + "/squatted", real = shared + "/real",
                    link = shared + "/link";
  ASSERT_EQ(mkdir(shared.c_str(), 0700) | chmod(shared.c_str(), 01777), 0);
  ASSERT_EQ(mkdir(squatted.c_str(), 0755) | chown(squatted.c_str(), kSquatter, kSquatter), 0);
  ASSERT_EQ(mkdir(real.c_str(), 0755) | chown(real.c_str(), nobody_->uid, nobody_->gid), 0);
  ASSERT_EQ(symlink(real.c_str(), link.c_str()) | lchown(link.c_str(), kSquatter, kSquatter), 0);
  const struct {
    std::string runtime;
    std::string complaint;
  } cases[] = {{squatted, squatted + " belongs to 4343 (uid 4343) and lies in " + shared},
               {link, link + " is a symbolic link owned by 4343 (uid 4343)"}};
  for (const auto& test : cases) {
    Listener squatter(test.runtime + "/CfgServer-ReadFifo");
    ASSERT_TRUE(squatter.listening()) << test.runtime;
    const Outcome run = Cfgctl({"get", "network", "eth0", "mtu"}, false, test.runtime);
    EXPECT_TRUE(run.status.IsExit(3)) << run.status.ToString() << " " << run.errors;
    EXPECT_NE(run.errors.find("untrusted runtime directory: " + test.complaint), std::string::npos) << run.errors;
    EXPECT_FALSE(squatter.SomeoneConnected()) << test.runtime;
    unlink((test.runtime + "/CfgServer-ReadFifo").c_str());
  }
}

TEST_F(AccessEndToEnd, TheServerRefusesPlacesOthersCouldHavePlantedAndHasNoDatabaseInTheCurrentDirectory) {
  const std::string open = directory_.File("open"), real = directory_.File("real"), link = directory_.File("link");
  ASSERT_EQ(mkdir(open.c_str(), 0700) | chmod(open.c_str(), 0777) | chown(open.c_str(), kSquatter, kSquatter), 0);
  ASSERT_EQ(mkdir(real.c_str(), 0700) | symlink(real.c_str(), link.c_str()) | lchown(link.c_str(), kSquatter, 0), 0);
  ASSERT_TRUE(WriteFile(real + "/planted.db", ""));
  ASSERT_EQ(symlink((real + "/planted.db").c_str(), (real + "/config.db").c_str()) |
                lchown((real + "/config.db").c_str(), kSquatter, 0),
            0);
  const std::string runtime = "--runtime-dir=" + Runtime();
  const struct {
    std::vector<std::string> arguments;
    std::optional<ChildProcess::User> user;
    std::string complaint;
  } cases[] = {
      {{"--runtime-dir=" + link, "--database=" + directory_.File("a.db")}, std::nullopt,
       "unsafe runtime directory: " + link + " is a symbolic link owned by"},
      {{runtime, "--database=" + open + "/config.db"}, std::nullopt,
       "unsafe database place: " + open + " is writable by others"},
      {{runtime, "--database=" + real + "/config.db"}, std::nullopt,
       "unsafe database place: " + real + "/config.db is a symbolic link owned by"},
      {{runtime}, nobody_, "no directory for the database: looked for $XDG_STATE_HOME, then $HOME"},
  };
  for (const auto& test : cases) {
    ChildProcess server;
    ChildProcess::Options options = As(test.user);
    options.environment = {"HOME=", "XDG_STATE_HOME="};
    ASSERT_TRUE(server.Start(ServerProcess::ExecutablePath(), test.arguments, options).ok());
    ExitStatus status;
    ASSERT_TRUE(server.Wait(ServerProcess::kDefaultTimeout, &status).ok());
    EXPECT_TRUE(status.IsExit(1)) << test.complaint << ": " << status.ToString() << server.errors();
    EXPECT_NE(server.errors().find(test.complaint), std::string::npos) << server.errors();
  }
  EXPECT_EQ(ReadFile(real + "/planted.db"), "");
}

// nobody's watchers past its limit are closed at once; root, within
// --max-clients, is answered.
TEST_F(AccessEndToEnd, ConnectionsHeldByOneUserDoNotShutOutRoot) {
  constexpr int kMaxClients = 4, kPerUser = 2;
  StartServer({"--access", "ACCESS", "--max-clients=" + std::to_string(kMaxClients),
               "--max-clients-per-user=" + std::to_string(kPerUser)});
  std::vector<std::unique_ptr<ChildProcess>> watchers;
  for (int index = 0; index < kMaxClients; ++index) {
    watchers.emplace_back(new ChildProcess);
    ASSERT_TRUE(watchers.back()->Start(QUENLO_CFGCTL_PATH, {"watch", "network"}, As(nobody_)).ok());
  }
  // Those past the limit end (no server for them); the others stay.
  int ended = 0;
  std::vector<bool> seen(watchers.size(), false);
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  while (ended < kMaxClients - kPerUser && std::chrono::steady_clock::now() < deadline) {
    for (std::size_t index = 0; index < watchers.size(); ++index) {
      ExitStatus status;
      if (seen[index] || !watchers[index]->Exited(&status)) continue;
      seen[index] = true;
      ++ended;
      EXPECT_TRUE(status.IsExit(3)) << status.ToString() << watchers[index]->errors();
    }
    std::this_thread::sleep_for(Duration(20));
  }
  ASSERT_EQ(ended, kMaxClients - kPerUser);
  Expect({"set", "network", "eth0", "mtu", "1400"}, 0, "", true);
  Expect({"get", "network", "eth0", "mtu"}, 0, "", true);
  for (std::size_t index = 0; index < watchers.size(); ++index)
    if (!seen[index]) {
      EXPECT_TRUE(watchers[index]->ReadUntil("network eth0 mtu = 1400\n", kDeadline).ok()) << watchers[index]->output();
    }
  ASSERT_TRUE(server_.WaitForLog("the limit (--max-clients-per-user)").ok()) << server_.errors();
  EXPECT_EQ(server_.errors().find(" WARNING "), server_.errors().rfind(" WARNING ")) << server_.errors();
}

TEST_F(AccessEndToEnd, SigHupReadsTheRulesAgainABadFileKeepsTheOldOnesWritesNameTheirUser) {
  StartServer();
  Expect({"set", "network", "eth0", "mtu", "9000"}, 6, ": access denied");
  ASSERT_TRUE(WriteFile(directory_.File("access.ini"), "[network]\nwrite = nobody\n"));
  ASSERT_TRUE(server_.Signal(SIGHUP).ok());
  ASSERT_TRUE(server_.WaitForLog("access rules read again").ok()) << server_.errors();
  Expect({"set", "network", "eth0", "mtu", "9000"}, 0, "");
  const std::string written = "), client 'cfgctl' (tag 'cfgctl'): set-value network/eth0/mtu: 1 keys changed";
  ASSERT_TRUE(server_.WaitForLog(written).ok()) << server_.errors();
  const std::string& log = server_.errors();
  const std::size_t end = log.find(written), start = log.rfind('\n', end) + 1;
  EXPECT_NE(log.substr(start, end - start).find("cfgserver: uid " + std::to_string(nobody_->uid) + " (nobody) pid "),
            std::string::npos)
      << log;

  ASSERT_TRUE(WriteFile(directory_.File("access.ini"), "[network]\nwrite = nobody\nread = no-such-user\n"));
  ASSERT_TRUE(server_.Signal(SIGHUP).ok());
  ASSERT_TRUE(server_.WaitForLog("[network] read: no user 'no-such-user'; the rules in force stay").ok())
      << server_.errors();
  Expect({"set", "network", "eth0", "mtu", "9001"}, 0, "");
}

}  // namespace
}  // namespace quenlo_test
