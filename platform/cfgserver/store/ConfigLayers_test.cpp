#include "store/ConfigLayers.h"

#include <gtest/gtest.h>

#include <map>

#include "store/ConfigStore.h"
#include "tests/support/TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

std::map<std::string, std::string> Section(ConfigStore* store, const std::string& set, const std::string& section) {
  std::vector<wire::KeyValue> pairs;
  EXPECT_TRUE(store->GetKeysAndValues(set, section, &pairs).ok());
  std::map<std::string, std::string> values;
  for (const wire::KeyValue& pair : pairs) values[pair.key] = pair.value;
  return values;
}

// "set/section/key before>after" lines ("-" for an absent value), to
// compare whole revisions at once.
std::vector<std::string> Lines(const CommittedRevision& revision) {
  std::vector<std::string> lines;
  for (const KeyChange& change : revision.changes)
    lines.push_back(change.set + "/" + change.section + "/" + change.key + " " + change.before.value_or("-") + ">" +
                    change.after.value_or("-"));
  return lines;
}

// "kind set/section/key=value" lines, to compare whole lists at once.
std::vector<std::string> Lines(const std::vector<wire::Record>& records) {
  std::vector<std::string> lines;
  for (const wire::Record& record : records)
    lines.push_back(std::to_string(static_cast<int>(record.kind)) + " " + record.set + "/" + record.section + "/" +
                    record.key + "=" + record.value + (record.defaultValue.empty() ? "" : " <" + record.defaultValue));
  return lines;
}

const ChangeNote kNote{ChangeAuthor(), "test"};

// The layers through an operator's day and a firmware update: what reads,
// changes and reset see, and what each commit's revision records.
TEST(ConfigLayersTest, LayersKeepTheOperatorsChangesThroughResetsAndFirmwareUpdates) {
  quenlo_test::TemporaryDirectory directory;
  std::unique_ptr<ConfigStore> store;
  ASSERT_TRUE(ConfigStore::Open(directory.File("config.db"), &store).ok());
  ConfigLayers& layers = store->layers();
  CommittedRevision made;
  ASSERT_TRUE(layers.ImportDefaults("net", {{"s", "a", "1"}, {"s", "b", "2"}, {"s", "c", "3"}, {"s", "b", "2"}}, kNote,
                                    &made).ok());
  EXPECT_EQ(Lines(made), (std::vector<std::string>{"net/s/a ->1", "net/s/b ->2", "net/s/c ->3"}));
  ASSERT_TRUE(store->SetValue("net", "s", "b", "20", kNote, &made).ok());
  ASSERT_TRUE(store->SetValue("net", "s", "d", "4", kNote, &made).ok());
  ASSERT_TRUE(layers.DeleteScope({ConfigScope::Level::kKey, "net", "s", "c"}, kNote, &made).ok());
  EXPECT_EQ(Lines(made), (std::vector<std::string>{"net/s/c 3>-"}));
  EXPECT_EQ(layers.DeleteScope({ConfigScope::Level::kKey, "net", "s", "c"}, kNote, &made).code(),
            LxStatus::Code::kNotFound);

  std::vector<wire::Record> changes;
  ASSERT_TRUE(layers.GetChanges({}, &changes).ok());
  EXPECT_EQ(Lines(changes), (std::vector<std::string>{"2 net/s/b=20 <2", "3 net/s/c= <3", "1 net/s/d=4"}));

  // Newer defaults: untouched keys follow, the operator's b, deleted c and added d stay.
  ASSERT_TRUE(layers.ImportDefaults("net", {{"s", "a", "10"}, {"s", "b", "200"}, {"s", "c", "300"}, {"s", "e", "5"}},
                                    kNote, &made).ok());
  EXPECT_EQ(Lines(made), (std::vector<std::string>{"net/s/a 1>10", "net/s/e ->5"}));
  EXPECT_EQ(Section(store.get(), "net", "s"),
            (std::map<std::string, std::string>{{"a", "10"}, {"b", "20"}, {"d", "4"}, {"e", "5"}}));
  // A default dropped by the update leaves config unless the operator changed it.
  ASSERT_TRUE(layers.ImportDefaults("net", {{"s", "b", "200"}, {"s", "c", "300"}}, kNote, &made).ok());
  EXPECT_EQ(Section(store.get(), "net", "s"), (std::map<std::string, std::string>{{"b", "20"}, {"d", "4"}}));
  // The same defaults again change nothing a read sees: no revision.
  CommittedRevision none;
  ASSERT_TRUE(layers.ImportDefaults("net", {{"s", "b", "200"}, {"s", "c", "300"}}, kNote, &none).ok());
  EXPECT_EQ(none.number, 0u);

  ASSERT_TRUE(layers.ResetScope({ConfigScope::Level::kSet, "net", "", ""}, kNote, &made).ok());
  EXPECT_EQ(Lines(made), (std::vector<std::string>{"net/s/b 20>200", "net/s/c ->300", "net/s/d 4>-"}));
  EXPECT_EQ(Section(store.get(), "net", "s"), (std::map<std::string, std::string>{{"b", "200"}, {"c", "300"}}));
  ASSERT_TRUE(layers.GetChanges({}, &(changes = {})).ok());
  EXPECT_TRUE(changes.empty());

  // Replace: the set becomes exactly the entries; only real changes are recorded.
  ASSERT_TRUE(layers.ImportSet("net", {{"s", "c", "300"}, {"t", "x", "y"}}, true, kNote, &made).ok());
  EXPECT_EQ(Lines(made), (std::vector<std::string>{"net/s/b 200>-", "net/t/x ->y"}));
  std::vector<wire::Record> exported;
  ASSERT_TRUE(layers.ExportSet("net", &exported).ok());
  EXPECT_EQ(Lines(exported), (std::vector<std::string>{"0 /s/c=300", "0 /t/x=y"}));
}

// A rollback is one new revision that returns every key changed since its
// target: deleted keys come back, added ones go, others take their value.
TEST(ConfigLayersTest, RollbackReturnsEveryKeyChangedSinceItsRevision) {
  quenlo_test::TemporaryDirectory directory;
  std::unique_ptr<ConfigStore> store;
  ASSERT_TRUE(ConfigStore::Open(directory.File("config.db"), &store).ok());
  CommittedRevision made;
  ASSERT_TRUE(store->SetValue("net", "s", "a", "1", kNote, &made).ok());
  ASSERT_TRUE(store->SetValue("net", "s", "b", "2", kNote, &made).ok());  // 2: the target
  ASSERT_TRUE(store->layers().DeleteScope({ConfigScope::Level::kKey, "net", "s", "a"}, kNote, &made).ok());
  ASSERT_TRUE(store->SetValue("net", "s", "b", "3", kNote, &made).ok());
  ASSERT_TRUE(store->SetValue("net", "s", "c", "4", kNote, &made).ok());

  ASSERT_TRUE(store->layers().RollBackTo(2, kNote, &made).ok());
  EXPECT_EQ(made.number, 6u);
  EXPECT_EQ(Lines(made), (std::vector<std::string>{"net/s/a ->1", "net/s/b 3>2", "net/s/c 4>-"}));
  EXPECT_EQ(Section(store.get(), "net", "s"), (std::map<std::string, std::string>{{"a", "1"}, {"b", "2"}}));

  CommittedRevision none;
  ASSERT_TRUE(store->layers().RollBackTo(6, kNote, &none).ok());  // nothing changed since: no revision
  EXPECT_EQ(none.number, 0u);
  ASSERT_TRUE(store->layers().RollBackTo(5, kNote, &made).ok());  // the rollback itself is undone
  EXPECT_EQ(Section(store.get(), "net", "s"), (std::map<std::string, std::string>{{"b", "3"}, {"c", "4"}}));
  ASSERT_TRUE(store->layers().RollBackTo(0, kNote, &made).ok());  // before the first revision: empty
  EXPECT_TRUE(Section(store.get(), "net", "s").empty());
  EXPECT_EQ(made.number, 8u);

  EXPECT_EQ(store->layers().RollBackTo(9, kNote, &made).code(), LxStatus::Code::kInvalidArgument);
  store->revisions().SetLimit(1);
  ASSERT_TRUE(store->SetValue("net", "s", "a", "5", kNote, &made).ok());
  EXPECT_EQ(store->layers().RollBackTo(7, kNote, &made).code(), LxStatus::Code::kNotFound);
  EXPECT_EQ(Section(store.get(), "net", "s"), (std::map<std::string, std::string>{{"a", "5"}}));
}

// Cancelling rolls back the change awaiting confirmation and every change
// made after it, as one revision, and ends the wait.
TEST(ConfigLayersTest, CancellingRollsBackThePendingChangeAndEveryOneAfterIt) {
  quenlo_test::TemporaryDirectory directory;
  std::unique_ptr<ConfigStore> store;
  ASSERT_TRUE(ConfigStore::Open(directory.File("config.db"), &store).ok());
  CommittedRevision made;
  const ChangeNote confirmed{ChangeAuthor(), "confirmed", 60};
  ASSERT_TRUE(store->SetValue("net", "s", "a", "1", kNote, &made).ok());       // 1: the base
  ASSERT_TRUE(store->SetValue("net", "s", "a", "2", confirmed, &made).ok());  // 2
  ASSERT_TRUE(store->SetValue("net", "s", "b", "3", kNote, &made).ok());       // 3, made meanwhile
  ASSERT_TRUE(store->layers().CancelPending(kNote, &made).ok());
  EXPECT_EQ(made.number, 4u);
  EXPECT_EQ(Lines(made), (std::vector<std::string>{"net/s/a 2>1", "net/s/b 3>-"}));
  EXPECT_EQ(Section(store.get(), "net", "s"), (std::map<std::string, std::string>{{"a", "1"}}));
  EXPECT_EQ(store->layers().CancelPending(kNote, &made).code(), LxStatus::Code::kNotFound);
}

}  // namespace
}  // namespace qet_cfgserver
