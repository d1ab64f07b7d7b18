#include "requests/RequestDispatcher.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "cfgmsg/CfgAdmin.h"
#include "cfgmsg/CfgHistory.h"
#include "cfgmsg/LxCfgWatch.h"
#include "cfgmsg/LxIpcClient.h"
#include "cfgwire/Limits.h"
#include "cfgwire/RuntimeDirectory.h"
#include "requests/MemoryBudget.h"
#include "schema/Schema.h"
#include "tests/doubles/BudgetedSessionOwner.h"
#include "tests/support/HandWrittenFrame.h"
#include "tests/support/RawClient.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

using wire::Operation;

class RequestDispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(keeper_.Open().ok()); }

  wire::Reply Dispatch(Operation operation, const std::string& set = "", const std::string& section = "",
                       const std::string& key = "", const std::string& value = "", const std::string& tag = "") {
    wire::Request request = quenlo_test::TestRequest(operation, set, section, key, value);
    request.tag = tag;
    return RequestDispatcher(&keeper_).Dispatch(request);
  }

  quenlo_test::TemporaryDirectory directory_;
  StoreKeeper keeper_{StoreSettings{directory_.File("config.db"), {}, nullptr}};
};

// Every operation, and what is unknown: the console's and cfgctl's
// end-to-end tests.
TEST_F(RequestDispatcherTest, RequestsOverTheLimitsAreRejectedAndChangeNothing) {
  const std::string name(wire::kMaxNameBytes, 'n'), longName = name + "n", value(wire::kMaxValueBytes, '\0');
  ASSERT_EQ(Dispatch(Operation::kSetValue, name, name, name, value).status, CfgItemStatus::kSuccess);  // at the limits
  const std::vector<std::string> overLimit[] = {
      {name, name, name, value + "v", ""}, {longName, "t", "k", "x", ""}, {"s", longName, "k", "x", ""},
      {"s", "t", longName, "x", ""},       {"", "t", "k", "x", ""},       {"s", "", "k", "x", ""},
      {"s", "t", "", "x", ""},             {"s", "t", "k", "x", std::string(wire::kMaxLabelBytes + 1, 'l')}};
  for (const std::vector<std::string>& write : overLimit)
    EXPECT_EQ(Dispatch(Operation::kSetValue, write[0], write[1], write[2], write[3], write[4]).status,
              CfgItemStatus::kRejected);
  EXPECT_EQ(Dispatch(Operation::kGetValue, name, name, name).value, value);
  EXPECT_EQ(Dispatch(Operation::kGetSets).names, (std::vector<std::string>{name}));
}

// The dispatcher with a schema for set "net": what it refuses is rejected
// with its reason before anything is written.
class CheckedRequestDispatcherTest : public RequestDispatcherTest {
 protected:
  void SetUp() override {
    RequestDispatcherTest::SetUp();
    Schema schema;
    ASSERT_TRUE(Schema::Parse("[eth*]\nmtu = integer 68..9000\n", "net.schema", &schema).ok());
    ASSERT_TRUE(schemas_.Add(std::move(schema)).ok());
  }

  wire::Reply Checked(const wire::Request& request, ClientSession* session = nullptr) {
    return checked_.Dispatch(request, session);
  }

  std::string Value(const std::string& section, const std::string& key) {
    return Dispatch(Operation::kGetValue, "net", section, key).value;
  }

  SchemaSet schemas_;
  RequestDispatcher checked_{&keeper_, nullptr, nullptr, nullptr, &schemas_};
  // Sessions' stagings are charged here, as a connection's are.
  MemoryBudget budget_{1024 * 1024};
  quenlo_test::BudgetedSessionOwner owner_{&budget_};
};

TEST_F(CheckedRequestDispatcherTest, ARefusedSetIsRejectedWithItsReasonAndWritesNothing) {
  const wire::Reply refused = Checked(quenlo_test::TestRequest(Operation::kSetValue, "net", "eth0", "mtu", "15OO"));
  EXPECT_EQ(refused.status, CfgItemStatus::kRejected);
  EXPECT_EQ(refused.reason, "15OO is not an integer in 68..9000");
  EXPECT_EQ(Dispatch(Operation::kGetValue, "net", "eth0", "mtu").status, CfgItemStatus::kKeyNotFound);
  EXPECT_EQ(Checked(quenlo_test::TestRequest(Operation::kSetValue, "net", "eth0", "mtu", "1500")).status,
            CfgItemStatus::kSuccess);
  EXPECT_EQ(Checked(quenlo_test::TestRequest(Operation::kSetValue, "net", "lo", "mtu", "15OO")).status,
            CfgItemStatus::kSuccess);  // no rule names lo
}

TEST_F(CheckedRequestDispatcherTest, AnImportWithARefusedEntryNamesEachAndWritesNothing) {
  ClientSession session(&owner_);
  wire::Request begin = quenlo_test::TestRequest(Operation::kImportBegin, "net");
  wire::Request entries = quenlo_test::TestRequest(Operation::kImportEntries);
  entries.entries = {{wire::RecordKind::kValue, "", "eth0", "mtu", "1500", ""},
                     {wire::RecordKind::kValue, "", "eth1", "mtu", "x", ""},
                     {wire::RecordKind::kValue, "", "eth2", "mtu", "9001", ""}};
  for (const Operation end : {Operation::kImportPreview, Operation::kImportCommit}) {
    ASSERT_EQ(Checked(begin, &session).status, CfgItemStatus::kSuccess);
    ASSERT_EQ(Checked(entries, &session).status, CfgItemStatus::kSuccess);
    const wire::Reply refused = Checked(quenlo_test::TestRequest(end), &session);
    EXPECT_EQ(refused.status, CfgItemStatus::kRejected);
    EXPECT_EQ(refused.reason,
              "[eth1] mtu: x is not an integer in 68..9000\n[eth2] mtu: 9001 is not an integer in 68..9000");
    EXPECT_FALSE(session.staging().active());
    EXPECT_EQ(owner_.held(), 0u);
  }
  EXPECT_EQ(Value("eth0", "mtu"), "");
}

// The preview's entries are staged, and charged, as a commit's are, and
// given back once it is answered.
TEST_F(CheckedRequestDispatcherTest, APreviewAnswersWhatTheCommitWouldChangeAndWritesNothing) {
  CommittedRevision made;
  ASSERT_TRUE(keeper_.store()
                  ->layers()
                  .ImportDefaults("net", {{"eth0", "mtu", "1500"}, {"eth0", "x", "1"}}, ChangeNote(), &made)
                  .ok());
  ClientSession session(&owner_);
  wire::Request begin = quenlo_test::TestRequest(Operation::kImportBegin, "net");
  begin.SetReplace(true);
  wire::Request entries = quenlo_test::TestRequest(Operation::kImportEntries);
  entries.entries = {{wire::RecordKind::kValue, "", "eth0", "mtu", "9000", ""}};
  ASSERT_EQ(Checked(begin, &session).status, CfgItemStatus::kSuccess);
  ASSERT_EQ(Checked(entries, &session).status, CfgItemStatus::kSuccess);
  EXPECT_GT(owner_.held(), 0u);
  const wire::Reply preview = Checked(quenlo_test::TestRequest(Operation::kImportPreview), &session);
  ASSERT_EQ(preview.status, CfgItemStatus::kSuccess);
  ASSERT_EQ(preview.records.size(), 2u);
  EXPECT_EQ(preview.records[0].kind, wire::RecordKind::kChanged);
  EXPECT_EQ(preview.records[1].kind, wire::RecordKind::kDeleted);
  EXPECT_EQ(owner_.held(), 0u);
  EXPECT_EQ(Value("eth0", "mtu"), "1500");
  EXPECT_EQ(Value("eth0", "x"), "1");
}

// A default stored under no schema (or an older one) is not brought back
// by a reset once the schema refuses it.
TEST_F(CheckedRequestDispatcherTest, AResetThatWouldRestoreARefusedDefaultIsRejected) {
  CommittedRevision made;
  ASSERT_TRUE(keeper_.store()->layers().ImportDefaults("net", {{"eth0", "mtu", "15OO"}}, ChangeNote(), &made).ok());
  ASSERT_EQ(Checked(quenlo_test::TestRequest(Operation::kSetValue, "net", "eth0", "mtu", "1500")).status,
            CfgItemStatus::kSuccess);
  wire::Request reset = quenlo_test::TestRequest(Operation::kReset, "net");
  reset.SetScope({ConfigScope::Level::kSet, "net", "", ""});
  const wire::Reply refused = Checked(reset);
  EXPECT_EQ(refused.status, CfgItemStatus::kRejected);
  EXPECT_EQ(refused.reason, "[eth0] mtu: 15OO is not an integer in 68..9000");
  EXPECT_EQ(Value("eth0", "mtu"), "1500");
}

// A value stored under no schema (or an older one) is not brought back by
// a rollback, nor by the cancel of a change made after it, once the schema
// refuses it: rejected with the reason, nothing changed.
TEST_F(CheckedRequestDispatcherTest, ARollbackOrCancelThatWouldRestoreARefusedValueIsRejected) {
  CommittedRevision made;
  ASSERT_TRUE(keeper_.store()->SetValue("net", "eth0", "mtu", "15OO", ChangeNote(), &made).ok());
  wire::Request rollback = quenlo_test::TestRequest(Operation::kRollback);
  rollback.revision = made.number;
  ChangeNote toConfirm;
  toConfirm.confirmSeconds = 600;
  ASSERT_TRUE(keeper_.store()->SetValue("net", "eth0", "mtu", "1500", toConfirm, &made).ok());
  for (const wire::Request& request : {rollback, quenlo_test::TestRequest(Operation::kCancel)}) {
    const wire::Reply refused = Checked(request);
    EXPECT_EQ(refused.status, CfgItemStatus::kRejected) << wire::OperationName(request.operation);
    EXPECT_EQ(refused.reason, "[eth0] mtu: 15OO is not an integer in 68..9000");
    EXPECT_EQ(Value("eth0", "mtu"), "1500");
  }
}

const ACE_Time_Value kGenerous(10);  // the server may run under an emulator
// Long enough that a notification sent twice would have arrived.
const ACE_Time_Value kQuiet(0, 500 * 1000);

using Level = ConfigScope::Level;

// "set/section/key=value", "set/section/key deleted" or "missed N".
std::string Line(const LxCfgWatch::Event& event) {
  if (event.kind == LxCfgWatch::Event::Kind::kMissed) return "missed " + std::to_string(event.missed);
  const std::string name = event.set + "/" + event.section + "/" + event.key;
  return event.kind == LxCfgWatch::Event::Kind::kDeleted ? name + " deleted" : name + "=" + event.value;
}

// Every event until none comes for kQuiet.
std::vector<std::string> Drain(LxCfgWatch* watch) {
  std::vector<std::string> lines;
  LxCfgWatch::Event event;
  while (watch->Next(&event, lines.empty() ? kGenerous : kQuiet) == CfgItemStatus::kSuccess) lines.push_back(Line(event));
  return lines;
}

// The dispatcher as the server runs it, through the client library against
// the real cfgserver: the operations of protocol version 2 and the change
// notifications.
class ServedRequestDispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(directory_.File("net.ini")) << "[s]\na = 1\nb = 2\n";
    const LxStatus status =
        server_.Start({directory_.File("run"), directory_.File("config.db"), {directory_.File("net.ini")}, {}});
    ASSERT_TRUE(status.ok()) << status.ToString();
  }

  std::unique_ptr<LxCfgWatch> Watch(const ConfigScope& scope) {
    CfgItemStatus::Status status = CfgItemStatus::kServerError;
    std::unique_ptr<LxCfgWatch> watch = LxCfgWatch::OpenAt("watch-test", server_.socketPath(), scope, &status);
    EXPECT_EQ(status, CfgItemStatus::kSuccess);
    return watch;
  }

  quenlo_test::TemporaryDirectory directory_;
  quenlo_test::ServerProcess server_;
  LxIpcClient client_{"layers-test", directory_.File("run") + "/" + wire::kServerEndpoint, kGenerous};
};

// Each kind of commit reaches every watcher whose scope covers it, key by
// key, in commit order, once. (What the layers answer: ConfigStore_test,
// and through the wire, cfgctl's end-to-end test.)
TEST_F(ServedRequestDispatcherTest, WatchersSeeEachCommitOnceInOrder) {
  std::unique_ptr<LxCfgWatch> everything = Watch({Level::kAll, "", "", ""});
  std::unique_ptr<LxCfgWatch> section = Watch({Level::kSection, "net", "s", ""});
  ASSERT_TRUE(everything && section);

  ASSERT_EQ(client_.WriteValue("net", "s", "a", "x", "t"), CfgItemStatus::kSuccess);  // a version-1 write
  ASSERT_EQ(client_.WriteValue("other", "t", "k", "v", "t"), CfgItemStatus::kSuccess);
  ASSERT_EQ(DeleteCfg(client_, {Level::kSection, "net", "s", ""}, "t"), CfgItemStatus::kSuccess);
  EXPECT_EQ(DeleteCfg(client_, {Level::kSection, "net", "s", ""}, "t"), CfgItemStatus::kKeyNotFound);
  // Three values at the limit: one frame each, one transaction.
  const std::string big(wire::kMaxValueBytes, 'v');
  ASSERT_EQ(ImportCfgSet(client_, "net", {{"s", "z", big}, {"s", "y", big}, {"s", "x", big}}, false, "t"),
            CfgItemStatus::kSuccess);
  ASSERT_EQ(ResetCfg(client_, {Level::kSet, "net", "", ""}, "t"), CfgItemStatus::kSuccess);

  const std::string bigLine = "=" + big;
  const std::vector<std::string> inNetS = {
      "net/s/a=x",          "net/s/a deleted",    "net/s/b deleted",    "net/s/x" + bigLine, "net/s/y" + bigLine,
      "net/s/z" + bigLine,  "net/s/a=1",          "net/s/b=2",          "net/s/x deleted",   "net/s/y deleted",
      "net/s/z deleted"};
  std::vector<std::string> all = inNetS;
  all.insert(all.begin() + 1, "other/t/k=v");
  EXPECT_EQ(Drain(everything.get()), all);
  EXPECT_EQ(Drain(section.get()), inNetS);
}

// "set/section/key before>after" ("-": absent).
std::vector<std::string> Lines(const std::vector<KeyChange>& changes) {
  std::vector<std::string> lines;
  for (const KeyChange& change : changes)
    lines.push_back(change.set + "/" + change.section + "/" + change.key + " " + change.before.value_or("-") + ">" +
                    change.after.value_or("-"));
  return lines;
}

std::vector<std::uint64_t> Numbers(const std::vector<RevisionEntry>& revisions) {
  std::vector<std::uint64_t> numbers;
  for (const RevisionEntry& revision : revisions) numbers.push_back(revision.number);
  return numbers;
}

// The revision operations through the client library: the defaults
// imported at start are revision 1, each write and the delete one more,
// and a rollback is a revision that the history lists like any other.
TEST_F(ServedRequestDispatcherTest, RevisionsAreListedShownComparedAndRolledBack) {
  ASSERT_EQ(client_.WriteValue("net", "s", "a", "x", "t"), CfgItemStatus::kSuccess);  // 2, by the group commit
  ASSERT_EQ(DeleteCfg(client_, {Level::kKey, "net", "s", "b"}, "t"), CfgItemStatus::kSuccess);  // 3
  std::uint64_t current = 0, oldest = 0;
  ASSERT_EQ(GetCfgRevision(client_, current, oldest, "t"), CfgItemStatus::kSuccess);
  EXPECT_EQ(std::make_pair(current, oldest), std::make_pair(std::uint64_t{3}, std::uint64_t{1}));

  std::vector<RevisionEntry> revisions;
  ASSERT_EQ(GetCfgHistory(client_, {}, 0, 2, revisions, "t"), CfgItemStatus::kSuccess);
  EXPECT_EQ(Numbers(revisions), (std::vector<std::uint64_t>{3, 2}));
  ASSERT_EQ(revisions.size(), 2u);
  EXPECT_EQ(std::tie(revisions[1].summary, revisions[1].author.client, revisions[1].author.tag, revisions[1].keys),
            std::make_tuple(std::string("set net s a"), std::string("layers-test"), std::string("t"), 1u));
  ASSERT_EQ(GetCfgHistory(client_, {Level::kKey, "net", "s", "b"}, 0, 10, revisions, "t"), CfgItemStatus::kSuccess);
  EXPECT_EQ(Numbers(revisions), (std::vector<std::uint64_t>{3, 1}));
  EXPECT_EQ(revisions[1].author.client, "cfgserver");  // the defaults imported at start

  RevisionEntry entry;
  std::vector<KeyChange> changes;
  ASSERT_EQ(ShowCfgRevision(client_, 3, entry, changes, "t"), CfgItemStatus::kSuccess);
  EXPECT_EQ(Lines(changes), (std::vector<std::string>{"net/s/b 2>-"}));
  ASSERT_EQ(DiffCfgRevisions(client_, 1, kCfgCurrentRevision, changes, "t"), CfgItemStatus::kSuccess);
  EXPECT_EQ(Lines(changes), (std::vector<std::string>{"net/s/a 1>x", "net/s/b 2>-"}));

  std::uint64_t made = 0;
  ASSERT_EQ(RollbackCfg(client_, 1, made, "t"), CfgItemStatus::kSuccess);
  EXPECT_EQ(made, 4u);
  std::string value;
  ASSERT_EQ(client_.ReadValue("net", "s", "b", value, "t"), CfgItemStatus::kSuccess);
  EXPECT_EQ(value, "2");
  ASSERT_EQ(RollbackCfg(client_, 4, made, "t"), CfgItemStatus::kSuccess);
  EXPECT_EQ(made, 0u);  // nothing differed: no revision
  EXPECT_EQ(RollbackCfg(client_, 5, made, "t"), CfgItemStatus::kRejected);  // not made yet
  EXPECT_EQ(ShowCfgRevision(client_, 9, entry, changes, "t"), CfgItemStatus::kKeyNotFound);
}

// A revision larger than a piece comes whole through the client library,
// shown or compared, piece after piece; rolling it back answers with the
// revision made, not its keys.
TEST_F(ServedRequestDispatcherTest, ARevisionLargerThanAPieceIsShownAndComparedWhole) {
  std::vector<ConfigEntry> entries;
  for (char key = 'a'; key <= 'j'; ++key) entries.push_back({"s", std::string(1, key), std::string(wire::kMaxValueBytes, key)});
  ASSERT_EQ(ImportCfgSet(client_, "big", entries, false, "t"), CfgItemStatus::kSuccess);  // 2: 160 KiB
  RevisionEntry entry;
  std::vector<KeyChange> changes;
  ASSERT_EQ(ShowCfgRevision(client_, 2, entry, changes, "t"), CfgItemStatus::kSuccess);
  EXPECT_EQ(entry.keys, entries.size());
  wire::Request first = quenlo_test::TestRequest(Operation::kShowRevision);
  first.revision = 2;
  std::string frame;
  ASSERT_TRUE(wire::EncodeRequestFrame(first, &frame).ok());
  const wire::Reply piece = quenlo_test::RawClient(server_.socketPath()).Exchange(frame);
  EXPECT_EQ(piece.status, CfgItemStatus::kSuccess);
  EXPECT_LT(piece.records.size(), entries.size());  // one piece, no more
  ASSERT_EQ(changes.size(), entries.size());
  for (std::size_t index = 0; index < entries.size(); ++index)
    EXPECT_EQ(std::tie(changes[index].key, *changes[index].after), std::tie(entries[index].key, entries[index].value));
  ASSERT_EQ(DiffCfgRevisions(client_, 1, kCfgCurrentRevision, changes, "t"), CfgItemStatus::kSuccess);
  EXPECT_EQ(changes.size(), entries.size());
  std::uint64_t made = 0;
  ASSERT_EQ(RollbackCfg(client_, 1, made, "t"), CfgItemStatus::kSuccess);
  EXPECT_EQ(made, 3u);
}

// Version 1 stays as it was; operations a server does not know are
// rejected and the connection goes on.
TEST_F(ServedRequestDispatcherTest, UnknownOperationsAreRejectedInTheRequestsVersion) {
  quenlo_test::RawClient raw(server_.socketPath());
  for (int version : {1, 2}) {
    std::string frame = quenlo_test::HandWrittenFrame(true)
                            .ULong(version == 1 ? std::uint32_t(wire::Operation::kDelete) : 99).ULong(1)
                            .String("raw").String("").String("net").String("").String("").String("")
                            .ULong(0)  // no entries: the tail of version 2
                            .Frame();
    frame[2] = static_cast<char>(version);
    EXPECT_EQ(raw.Exchange(frame).status, CfgItemStatus::kRejected) << version;
    EXPECT_EQ(raw.lastReplyVersion(), version);
  }
  EXPECT_EQ(raw.Exchange(quenlo_test::RequestFrame(wire::Operation::kGetValue, "net", "s", "a")).value, "1");
  EXPECT_EQ(raw.lastReplyVersion(), 1);
}

// An import over what an export may give is rejected and writes nothing.
// (The staging's own bounds: ImportStaging_test; a watcher that falls
// behind: cfgctl's end-to-end test.)
TEST_F(ServedRequestDispatcherTest, AnImportOverItsBoundIsRejectedAndWritesNothing) {
  std::vector<ConfigEntry> tooMany(wire::kMaxSetBytes / wire::kMaxValueBytes,
                                   {"s", "k", std::string(wire::kMaxValueBytes, 'v')});
  for (std::size_t index = 0; index < tooMany.size(); ++index) tooMany[index].key += std::to_string(index);
  EXPECT_EQ(ImportCfgSet(client_, "huge", tooMany, true, "t"), CfgItemStatus::kRejected);
  std::vector<ConfigEntry> exported;
  ASSERT_EQ(ExportCfgSet(client_, "huge", exported, "t"), CfgItemStatus::kSuccess);
  EXPECT_TRUE(exported.empty());
}

// A connection closed after staging: its import is gone, a commit elsewhere
// finds none.
TEST_F(ServedRequestDispatcherTest, AnImportCutOffByItsConnectionLeavesNothingBehind) {
  for (const wire::Operation operation : {wire::Operation::kImportBegin, wire::Operation::kImportEntries}) {
    quenlo_test::RawClient raw(server_.socketPath());
    EXPECT_EQ(raw.Exchange(quenlo_test::RequestFrame(wire::Operation::kImportBegin, "half", "")).status,
              CfgItemStatus::kSuccess);
    wire::Request entries = quenlo_test::TestRequest(operation);
    entries.client = "raw";
    entries.entries = {{wire::RecordKind::kValue, "", "s", "k", "v", ""}};
    std::string frame;
    ASSERT_TRUE(wire::EncodeRequestFrame(entries, &frame).ok());
    if (operation == wire::Operation::kImportEntries) {
      EXPECT_EQ(raw.Exchange(frame).status, CfgItemStatus::kSuccess);
    }
  }
  EXPECT_EQ(quenlo_test::RawClient(server_.socketPath())
                .Exchange(quenlo_test::RequestFrame(wire::Operation::kImportCommit, "", ""))
                .status,
            CfgItemStatus::kRejected);
  std::vector<ConfigEntry> exported;
  ASSERT_EQ(ExportCfgSet(client_, "half", exported, "t"), CfgItemStatus::kSuccess);
  EXPECT_TRUE(exported.empty());
}

}  // namespace
}  // namespace qet_cfgserver
