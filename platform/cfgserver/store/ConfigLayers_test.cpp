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

// "kind set/section/key=value" lines, to compare whole lists at once.
std::vector<std::string> Lines(const std::vector<wire::Record>& records) {
  std::vector<std::string> lines;
  for (const wire::Record& record : records)
    lines.push_back(std::to_string(static_cast<int>(record.kind)) + " " + record.set + "/" + record.section + "/" +
                    record.key + "=" + record.value + (record.defaultValue.empty() ? "" : " <" + record.defaultValue));
  return lines;
}

// The layers through an operator's day and a firmware update: what reads,
// changes and reset see, and what each commit reports to watchers.
TEST(ConfigLayersTest, LayersKeepTheOperatorsChangesThroughResetsAndFirmwareUpdates) {
  quenlo_test::TemporaryDirectory directory;
  std::unique_ptr<ConfigStore> store;
  ASSERT_TRUE(ConfigStore::Open(directory.File("config.db"), &store).ok());
  ConfigLayers& layers = store->layers();
  ASSERT_TRUE(layers.ImportDefaults("net", {{"s", "a", "1"}, {"s", "b", "2"}, {"s", "c", "3"}, {"s", "b", "2"}}).ok());
  ASSERT_TRUE(store->SetValue("net", "s", "b", "20").ok());
  ASSERT_TRUE(store->SetValue("net", "s", "d", "4").ok());
  std::vector<wire::Record> committed;
  ASSERT_TRUE(layers.DeleteScope({ConfigScope::Level::kKey, "net", "s", "c"}, &committed).ok());
  EXPECT_EQ(Lines(committed), (std::vector<std::string>{"3 net/s/c="}));
  EXPECT_EQ(layers.DeleteScope({ConfigScope::Level::kKey, "net", "s", "c"}, &committed).code(), LxStatus::Code::kNotFound);

  std::vector<wire::Record> changes;
  ASSERT_TRUE(layers.GetChanges({}, &changes).ok());
  EXPECT_EQ(Lines(changes), (std::vector<std::string>{"2 net/s/b=20 <2", "3 net/s/c= <3", "1 net/s/d=4"}));

  // Newer defaults: untouched keys follow, the operator's b, deleted c and added d stay.
  ASSERT_TRUE(layers.ImportDefaults("net", {{"s", "a", "10"}, {"s", "b", "200"}, {"s", "c", "300"}, {"s", "e", "5"}}).ok());
  EXPECT_EQ(Section(store.get(), "net", "s"),
            (std::map<std::string, std::string>{{"a", "10"}, {"b", "20"}, {"d", "4"}, {"e", "5"}}));
  // A default dropped by the update leaves config unless the operator changed it.
  ASSERT_TRUE(layers.ImportDefaults("net", {{"s", "b", "200"}, {"s", "c", "300"}}).ok());
  EXPECT_EQ(Section(store.get(), "net", "s"), (std::map<std::string, std::string>{{"b", "20"}, {"d", "4"}}));

  committed.clear();
  ASSERT_TRUE(layers.ResetScope({ConfigScope::Level::kSet, "net", "", ""}, &committed).ok());
  EXPECT_EQ(Lines(committed), (std::vector<std::string>{"0 net/s/b=200", "0 net/s/c=300", "3 net/s/d="}));
  EXPECT_EQ(Section(store.get(), "net", "s"), (std::map<std::string, std::string>{{"b", "200"}, {"c", "300"}}));
  ASSERT_TRUE(layers.GetChanges({}, &(changes = {})).ok());
  EXPECT_TRUE(changes.empty());

  // Replace: the set becomes exactly the entries; only real changes are reported.
  committed.clear();
  ASSERT_TRUE(layers.ImportSet("net", {{"s", "c", "300"}, {"t", "x", "y"}}, true, &committed).ok());
  EXPECT_EQ(Lines(committed), (std::vector<std::string>{"3 net/s/b=", "0 net/t/x=y"}));
  std::vector<wire::Record> exported;
  ASSERT_TRUE(layers.ExportSet("net", &exported).ok());
  EXPECT_EQ(Lines(exported), (std::vector<std::string>{"0 /s/c=300", "0 /t/x=y"}));
}

}  // namespace
}  // namespace qet_cfgserver
