// The store through power cuts, on a VFS that models them (the full disk: GroupCommit_test).

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <tuple>

#include "recovery/SnapshotWriter.h"
#include "requests/RequestLog.h"
#include "store/ConfigStore.h"
#include "tests/support/FaultInjectingVfs.h"
#include "tests/support/TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

constexpr int kCuts = 1000;
// Changing file calls before a cut, up to 2 to the power of a random number
// in this range: a write is a few calls, a checkpoint a few hundred.
constexpr int kMinCallsBeforeCutLog2 = 2;
constexpr int kMaxCallsBeforeCutLog2 = 10;
// A run that never meets its cut is a fault of the test.
constexpr int kMaxOperationsPerCut = 1000;
// A few keys, so that writes replace and imports meet existing keys.
constexpr const char* kSets[] = {"net", "sys"};
constexpr const char* kSections[] = {"eth0", "wlan", "ui"};
constexpr int kKeysPerSection = 6;
constexpr int kMaxImportEntries = 6;
// Values mostly short, often over a page (overflow pages, and a log that
// fills sooner), up to the largest a client may send.
constexpr int kMaxShortValueBytes = 40;
constexpr int kMaxLongValueBytes = 16000;
constexpr int kLongValueOneIn = 4;
// Few revisions kept, so that writes prune and rollbacks reach past the
// oldest kept.
constexpr std::uint32_t kHistoryLimit = 8;
// Some writes await confirmation, which keeps history beyond the limit.
constexpr int kConfirmedOneIn = 8;
constexpr std::uint32_t kConfirmSeconds = 60;

using Address = std::tuple<std::string, std::string, std::string>;  // set, section, key
using Contents = std::map<Address, std::string>;
// Each kept revision's keys as "set/section/key" with before and after.
using History = std::map<std::uint64_t, std::vector<KeyChange>>;

const ChangeNote kNote{ChangeAuthor(), "power cut"};

// What the store holds, all of which one transaction changes together.
struct State {
  Contents config;
  Contents defaults;
  History history;
  std::uint64_t revision = 0;
  std::optional<std::pair<std::uint64_t, std::uint64_t>> pending;  // base, revision awaiting confirmation

  // Records changes as the next revision, pruned as the store prunes: what
  // a pending change's rollback needs stays.
  void Record(std::vector<KeyChange> changes, bool confirmed = false) {
    if (changes.empty()) return;
    history[++revision] = std::move(changes);
    if (confirmed) pending = std::make_pair(pending ? pending->first : revision - 1, revision);
    Prune();
  }

  void Prune() {
    while (!history.empty() && history.begin()->first + kHistoryLimit <= revision &&
           !(pending && history.begin()->first > pending->first))
      history.erase(history.begin());
  }

  void Apply(const KeyChange& change) {
    const Address address{change.set, change.section, change.key};
    if (change.after) config[address] = *change.after;
    else config.erase(address);
  }

  std::optional<std::string> ValueOf(const Address& address) const {
    const auto found = config.find(address);
    return found == config.end() ? std::nullopt : std::optional<std::string>(found->second);
  }

  std::uint64_t oldestKept() const { return history.empty() ? revision + 1 : history.begin()->first; }
};

bool SameChanges(const std::vector<KeyChange>& left, const std::vector<KeyChange>& right) {
  return std::equal(left.begin(), left.end(), right.begin(), right.end(), [](const KeyChange& one, const KeyChange& other) {
    return std::tie(one.set, one.section, one.key, one.before, one.after) ==
           std::tie(other.set, other.section, other.key, other.before, other.after);
  });
}

bool operator==(const State& left, const State& right) {
  return left.config == right.config && left.defaults == right.defaults && left.revision == right.revision &&
         left.pending == right.pending &&
         std::equal(left.history.begin(), left.history.end(), right.history.begin(), right.history.end(),
                    [](const auto& one, const auto& other) {
                      return one.first == other.first && SameChanges(one.second, other.second);
                    });
}

// Runs of writes, imports, rollbacks, snapshots and clean reopens over the
// shim, each ended by a power cut. After each cut the store is reopened and
// must hold every acknowledged write, with history and the revision number
// exactly as they committed; the operation in flight at the cut counts in
// full or not at all, its revision with it. The snapshot must hold what the
// last acknowledged snapshot held, or what the one in flight was copying.
// QUENLO_POWER_CUT_SEED repeats a run.
class ConfigStorePowerCutTest : public ::testing::Test {
 public:
  struct Operation {
    const char* name;
    int weight;
    void (ConfigStorePowerCutTest::*run)();
  };

  static std::mt19937::result_type Seed() {
    const char* fixed = getenv("QUENLO_POWER_CUT_SEED");
    return fixed != nullptr ? static_cast<std::mt19937::result_type>(strtoul(fixed, nullptr, 10))
                            : std::random_device()();
  }

  int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  std::string RandomValue() {
    const int length = Uniform(0, Uniform(1, kLongValueOneIn) == 1 ? kMaxLongValueBytes : kMaxShortValueBytes);
    // Four bytes from each draw: values are most of what the run makes.
    std::string value(static_cast<std::size_t>(length), '\0');
    std::uint32_t bits = 0;
    for (std::size_t index = 0; index < value.size(); ++index, bits >>= 8) {
      if (index % 4 == 0) bits = static_cast<std::uint32_t>(random_());
      value[index] = static_cast<char>(bits & 0xff);
    }
    return value;
  }

  std::string RandomSection() { return kSections[Uniform(0, static_cast<int>(std::size(kSections)) - 1)]; }
  std::string RandomKey() { return "key" + std::to_string(Uniform(1, kKeysPerSection)); }
  std::string RandomSet() { return kSets[Uniform(0, static_cast<int>(std::size(kSets)) - 1)]; }

  // Opens through the shim; only a power cut may make that fail.
  void Open() {
    const LxStatus status = ConfigStore::Open(path_, &store_, vfs_.name());
    if (status.ok()) {
      store_->revisions().SetLimit(kHistoryLimit);
      return;
    }
    EXPECT_TRUE(vfs_.powerCut()) << status.ToString();
  }

  // An operation that fails without a cut is a fault; one that returns OK
  // is acknowledged, cut or not.
  void Finish(const LxStatus& status) {
    if (!status.ok()) {
      EXPECT_TRUE(vfs_.powerCut()) << status.ToString();
      return;
    }
    acknowledged_ = ifApplied_;
    inFlight_ = false;
  }

  // A write is a revision even when it writes the value the key has; some
  // are to be confirmed.
  void Write() {
    const Address address{RandomSet(), RandomSection(), RandomKey()};
    const std::string value = RandomValue();
    ChangeNote note = kNote;
    if (Uniform(1, kConfirmedOneIn) == 1) note.confirmSeconds = kConfirmSeconds;
    ifApplied_ = acknowledged_;
    const KeyChange change{std::get<0>(address), std::get<1>(address), std::get<2>(address),
                           acknowledged_.ValueOf(address), value};
    ifApplied_.Apply(change);
    ifApplied_.Record({change}, note.confirmSeconds > 0);
    inFlight_ = true;
    CommittedRevision made;
    Finish(store_->SetValue(change.set, change.section, change.key, value, note, &made));
  }

  // Every key changed after a revision takes its value at that revision, as
  // one revision; a revision whose successors are no longer kept changes
  // nothing.
  void RollBack() {
    const std::uint64_t target = static_cast<std::uint64_t>(Uniform(0, static_cast<int>(acknowledged_.revision)));
    CommittedRevision made;
    ExpectRollBack(target, store_->layers().RollBackTo(target, kNote, &made));
  }

  // The change awaiting confirmation and every one after it rolled back, or
  // confirmed; NotFound with none awaiting.
  void Cancel() {
    CommittedRevision made;
    const LxStatus status = store_->layers().CancelPending(kNote, &made);
    if (!acknowledged_.pending) {
      EXPECT_TRUE(status.code() == LxStatus::Code::kNotFound || vfs_.powerCut()) << status.ToString();
      return;
    }
    ExpectRollBack(acknowledged_.pending->first, status, true);
  }

  void Confirm() {
    const LxStatus status = store_->revisions().Confirm();
    if (!acknowledged_.pending) {
      EXPECT_TRUE(status.code() == LxStatus::Code::kNotFound || vfs_.powerCut()) << status.ToString();
      return;
    }
    ifApplied_ = acknowledged_;
    ifApplied_.pending.reset();
    ifApplied_.Prune();
    inFlight_ = true;
    Finish(status);
  }

  // What a rollback to target did (status), against what it must have done;
  // ending the wait for confirmation with it when cancelling.
  void ExpectRollBack(std::uint64_t target, const LxStatus& status, bool cancelling = false) {
    const State& now = acknowledged_;
    ifApplied_ = now;
    if (target + 1 < now.oldestKept() && target != now.revision) {
      EXPECT_TRUE(status.code() == LxStatus::Code::kNotFound || vfs_.powerCut()) << status.ToString();
      return;
    }
    std::map<Address, std::optional<std::string>> atTarget;
    for (auto revision = now.history.upper_bound(target); revision != now.history.end(); ++revision)
      for (const KeyChange& change : revision->second)
        atTarget.try_emplace(Address{change.set, change.section, change.key}, change.before);
    std::vector<KeyChange> changes;
    for (const auto& [address, value] : atTarget)
      if (now.ValueOf(address) != value)
        changes.push_back(KeyChange{std::get<0>(address), std::get<1>(address), std::get<2>(address),
                                    now.ValueOf(address), value});
    for (const KeyChange& change : changes) ifApplied_.Apply(change);
    if (cancelling) ifApplied_.pending.reset();
    ifApplied_.Record(changes);
    ifApplied_.Prune();
    inFlight_ = true;
    Finish(status);
  }

  // New defaults for a set: keys the operator left alone follow them, the
  // operator's values and deletions stay; a repeated entry takes the last.
  void Import() {
    const std::string set = RandomSet();
    std::vector<ConfigEntry> entries(static_cast<std::size_t>(Uniform(1, kMaxImportEntries)));
    Contents fresh;
    for (ConfigEntry& entry : entries) {
      entry = ConfigEntry{RandomSection(), RandomKey(), RandomValue()};
      fresh[Address{set, entry.section, entry.key}] = entry.value;
    }
    const State& now = acknowledged_;
    ifApplied_ = now;
    std::set<Address> names;
    for (const auto& entry : fresh) names.insert(entry.first);
    for (const auto& entry : now.defaults)
      if (std::get<0>(entry.first) == set) names.insert(entry.first);
    std::vector<KeyChange> changes;
    for (const Address& name : names) {
      const auto previous = now.defaults.find(name);
      const auto next = fresh.find(name);
      const std::optional<std::string> current = now.ValueOf(name);
      const std::optional<std::string> before =
          previous == now.defaults.end() ? std::nullopt : std::optional<std::string>(previous->second);
      const std::optional<std::string> after =
          next == fresh.end() ? std::nullopt : std::optional<std::string>(next->second);
      if (current != before || current == after) continue;
      changes.push_back(KeyChange{std::get<0>(name), std::get<1>(name), std::get<2>(name), current, after});
      ifApplied_.Apply(changes.back());
    }
    ifApplied_.Record(changes);
    for (const auto& entry : now.defaults)
      if (std::get<0>(entry.first) == set) ifApplied_.defaults.erase(entry.first);
    for (const auto& entry : fresh) ifApplied_.defaults[entry.first] = entry.second;
    inFlight_ = true;
    CommittedRevision made;
    Finish(store_->layers().ImportDefaults(set, entries, kNote, &made));
  }

  // The store holds exactly what was acknowledged when a snapshot starts.
  void Snapshot() {
    snapshotInFlight_ = acknowledged_.config;
    const LxStatus status = SnapshotWriter::Write(*store_, snapshotPath_, vfs_.name());
    if (!status.ok()) {
      EXPECT_TRUE(vfs_.powerCut()) << status.ToString();
      return;
    }
    snapshot_ = snapshotInFlight_;
    hasSnapshot_ = true;
  }

  // Read from a copy: opening the snapshot itself would change it.
  void VerifySnapshot() {
    if (!hasSnapshot_ && !std::filesystem::exists(snapshotPath_)) return;
    const std::string copy = directory_.File("snapshot-copy.db");
    std::filesystem::copy_file(snapshotPath_, copy, std::filesystem::copy_options::overwrite_existing);
    std::unique_ptr<ConfigStore> store;
    Contents found;
    ASSERT_TRUE(ConfigStore::Open(copy, &store).ok());
    ASSERT_TRUE(ReadAll(store.get(), &found).ok());
    EXPECT_TRUE((hasSnapshot_ && found == snapshot_) || found == snapshotInFlight_)
        << "snapshot: " << FirstDifference(found, snapshot_);
    snapshot_ = found;
    hasSnapshot_ = true;
    store.reset();
    for (const char* suffix : {"", "-wal"}) std::filesystem::remove(copy + suffix);
  }

  // A clean close checkpoints the log; the cut may land in it or in the open.
  void Reopen() {
    store_.reset();
    Open();
  }

  static LxStatus ReadAll(ConfigStore* store, Contents* contents) {
    std::vector<std::string> sets, sections;
    std::vector<wire::KeyValue> pairs;
    LxStatus status = store->GetSets(&sets);
    for (std::size_t set = 0; set < sets.size() && status.ok(); ++set) {
      status = store->GetSections(sets[set], &sections);
      for (std::size_t section = 0; section < sections.size() && status.ok(); ++section) {
        status = store->GetKeysAndValues(sets[set], sections[section], &pairs);
        for (const wire::KeyValue& pair : pairs)
          (*contents)[Address{sets[set], sections[section], pair.key}] = pair.value;
      }
    }
    return status;
  }

  // The defaults layer, as config and the operator's changes give it.
  static LxStatus ReadDefaults(ConfigStore* store, const Contents& config, Contents* defaults) {
    std::vector<wire::Record> changes;
    const LxStatus status = store->layers().GetChanges(ConfigScope{}, &changes);
    *defaults = config;
    for (const wire::Record& change : changes) {
      const Address address{change.set, change.section, change.key};
      if (change.kind == wire::RecordKind::kAdded) defaults->erase(address);
      else (*defaults)[address] = change.defaultValue;
    }
    return status;
  }

  static LxStatus ReadHistory(ConfigStore* store, State* state) {
    LxStatus status = store->revisions().Current(&state->revision);
    std::optional<PendingConfirmation> pending;
    if (status.ok()) status = store->revisions().Pending(&pending);
    if (pending) state->pending = std::make_pair(pending->base, pending->revision);
    std::vector<RevisionEntry> entries;
    if (status.ok()) status = store->history().List(ConfigScope{}, 0, UINT32_MAX, &entries);
    for (std::size_t index = 0; status.ok() && index < entries.size(); ++index) {
      RevisionEntry entry;
      std::vector<KeyChange>& changes = state->history[entries[index].number];
      status = store->history().Show(entries[index].number, &entry, &changes);
      if (status.ok() && entry.summary != kNote.summary) status = LxStatus::Corruption("the summary is lost");
    }
    return status;
  }

  static std::string Describe(const History& history) {
    std::string text;
    for (const auto& [number, changes] : history) {
      text += " " + std::to_string(number) + ":";
      for (const KeyChange& change : changes)
        text += " " + Printable(change.section) + "/" + Printable(change.key) + (change.before ? "" : " new") +
                (change.after ? "" : " deleted");
    }
    return text;
  }

  static std::string FirstDifference(const Contents& found, const Contents& expected) {
    Contents all = found;
    all.insert(expected.begin(), expected.end());
    for (const auto& entry : all) {
      const auto inFound = found.find(entry.first), inExpected = expected.find(entry.first);
      if (inFound != found.end() && inExpected != expected.end() && inFound->second == inExpected->second) continue;
      auto show = [](const Contents& contents, Contents::const_iterator value) {
        return value == contents.end() ? std::string("(none)") : "'" + Printable(value->second) + "'";
      };
      return Printable(std::get<0>(entry.first)) + "/" + Printable(std::get<1>(entry.first)) + "/" +
             Printable(std::get<2>(entry.first)) + " is " + show(found, inFound) + ", expected " +
             show(expected, inExpected);
    }
    return "no difference";
  }

  // What the reopened store holds must be the acknowledged writes, plus the
  // one in flight at the cut in full or not at all: its values, history and
  // revision together. A read may open the log and so meet the cut; then
  // the next reopen verifies.
  void Verify() {
    State found;
    LxStatus read = ReadAll(store_.get(), &found.config);
    if (read.ok()) read = ReadDefaults(store_.get(), found.config, &found.defaults);
    if (read.ok()) read = ReadHistory(store_.get(), &found);
    if (!read.ok()) {
      EXPECT_TRUE(vfs_.powerCut()) << read.ToString();
      return;
    }
    const bool asAcknowledged = found == acknowledged_;
    const bool withInFlight = inFlight_ && found == ifApplied_;
    EXPECT_TRUE(asAcknowledged || withInFlight)
        << FirstDifference(found.config, acknowledged_.config)
        << ", defaults: " << FirstDifference(found.defaults, acknowledged_.defaults) << ", revision "
        << found.revision << " (expected " << acknowledged_.revision << "), history" << Describe(found.history)
        << " (expected" << Describe(acknowledged_.history) << "); in flight: "
        << (inFlight_ ? FirstDifference(found.config, ifApplied_.config) + ", revision " +
                            std::to_string(ifApplied_.revision) + ", history" + Describe(ifApplied_.history)
                      : "nothing");
    acknowledged_ = found;
    inFlight_ = false;
  }

  void RunOperationsUntilTheCut() {
    // The operation mix. A clean reopen is rare, so that the log grows past
    // the store's automatic checkpoint (1,000 pages) between reopens and cuts
    // meet checkpoints and log restarts; a cut in a first start or a clean
    // restart has a test of its own.
    static const Operation kOperations[] = {
        {"write", 300, &ConfigStorePowerCutTest::Write},
        {"import", 100, &ConfigStorePowerCutTest::Import},
        {"rollback", 30, &ConfigStorePowerCutTest::RollBack},
        {"cancel", 15, &ConfigStorePowerCutTest::Cancel},
        {"confirm", 15, &ConfigStorePowerCutTest::Confirm},
        {"snapshot", 4, &ConfigStorePowerCutTest::Snapshot},
        {"reopen", 1, &ConfigStorePowerCutTest::Reopen},
    };
    std::vector<int> weights;
    for (const Operation& operation : kOperations) weights.push_back(operation.weight);
    std::discrete_distribution<int> pick(weights.begin(), weights.end());
    for (int count = 0; store_ != nullptr && !vfs_.powerCut() && !HasFailure(); ++count) {
      ASSERT_LT(count, kMaxOperationsPerCut) << "the cut never came";
      const Operation& operation = kOperations[pick(random_)];
      SCOPED_TRACE(operation.name);
      (this->*operation.run)();
    }
  }

  // Some cuts lose every unsynced write, others keep the oldest few (a disk
  // that had written part of its queue).
  std::size_t LandedWrites() {
    const int unsynced = static_cast<int>(vfs_.unsyncedWrites());
    return Uniform(0, 1) == 0 ? 0 : static_cast<std::size_t>(Uniform(0, unsynced));
  }

  // The shim keeps durability, so memory serves as well as a disk, faster.
  quenlo_test::TemporaryDirectory directory_{quenlo_test::MemoryFileSystemRoot()};
  std::string path_ = directory_.File("config.db");
  quenlo_test::FaultInjectingVfs vfs_{"quenlo-power-cut"};
  std::unique_ptr<ConfigStore> store_;
  std::mt19937::result_type seed_ = Seed();
  std::mt19937 random_{seed_};
  State acknowledged_;
  State ifApplied_;  // acknowledged_ with the operation in flight
  bool inFlight_ = false;
  std::string snapshotPath_ = SnapshotWriter::PathFor(path_);
  Contents snapshot_;  // what the last acknowledged snapshot holds
  Contents snapshotInFlight_;
  bool hasSnapshot_ = false;
};

TEST_F(ConfigStorePowerCutTest, EveryAcknowledgedWriteSurvivesEachCut) {
  ASSERT_FALSE(directory_.path().empty());
  SCOPED_TRACE("QUENLO_POWER_CUT_SEED=" + std::to_string(seed_));
  for (int cut = 0; cut < kCuts && !HasFailure(); ++cut) {
    SCOPED_TRACE("cut " + std::to_string(cut));
    const int mostCalls = 1 << Uniform(kMinCallsBeforeCutLog2, kMaxCallsBeforeCutLog2);
    vfs_.CutPowerAfter(static_cast<std::uint64_t>(Uniform(0, mostCalls)));
    if (store_ == nullptr) Open();
    if (store_ != nullptr && !vfs_.powerCut()) Verify();
    RunOperationsUntilTheCut();
    store_.reset();  // the process is dead: this persists nothing
    const LxStatus restored = vfs_.RestoreDurableState(LandedWrites());
    ASSERT_TRUE(restored.ok()) << restored.ToString();
    VerifySnapshot();
  }
  // After the last cut, through SQLite's own VFS.
  ASSERT_TRUE(ConfigStore::Open(path_, &store_).ok());
  store_->revisions().SetLimit(kHistoryLimit);
  Verify();
}

// A cut at each changing call in turn of a device's first start (creating
// the database, importing its defaults, a write) and of a clean restart
// (checkpoint, the log deleted and created again, a write).
TEST_F(ConfigStorePowerCutTest, ACutAtEachStepOfAFirstStartAndARestart) {
  ASSERT_FALSE(directory_.path().empty());
  SCOPED_TRACE("QUENLO_POWER_CUT_SEED=" + std::to_string(seed_));
  const std::vector<void (ConfigStorePowerCutTest::*)()> steps = {
      &ConfigStorePowerCutTest::Open, &ConfigStorePowerCutTest::Import, &ConfigStorePowerCutTest::Write,
      &ConfigStorePowerCutTest::Reopen, &ConfigStorePowerCutTest::Write};
  bool cut = true;
  for (std::uint64_t calls = 0; cut && !HasFailure(); ++calls) {
    SCOPED_TRACE("cut after " + std::to_string(calls) + " changing calls");
    vfs_.CutPowerAfter(calls);
    acknowledged_ = State();
    inFlight_ = false;
    for (std::size_t step = 0; step < steps.size() && !vfs_.powerCut(); ++step) {
      if (step > 0 && store_ == nullptr) break;
      (this->*steps[step])();
    }
    cut = vfs_.powerCut();
    store_.reset();
    ASSERT_TRUE(vfs_.RestoreDurableState(LandedWrites()).ok());
    // Through SQLite's own VFS, so that the shim records nothing of this.
    ASSERT_TRUE(ConfigStore::Open(path_, &store_).ok());
    store_->revisions().SetLimit(kHistoryLimit);
    Verify();
    store_.reset();
    for (const char* suffix : {"", "-wal", "-journal"}) std::filesystem::remove(path_ + suffix);
  }
}

}  // namespace
}  // namespace qet_cfgserver
