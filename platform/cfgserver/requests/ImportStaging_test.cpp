#include "requests/ImportStaging.h"

#include <gtest/gtest.h>

#include <vector>

#include "requests/MemoryBudget.h"
#include "tests/doubles/BudgetedSessionOwner.h"

namespace qet_cfgserver {
namespace {

using Owner = quenlo_test::BudgetedSessionOwner;

std::vector<wire::Record> Entries(std::size_t count, std::size_t valueBytes) {
  std::vector<wire::Record> entries;
  for (std::size_t index = 0; index < count; ++index)
    entries.push_back(
        {wire::RecordKind::kValue, "", "s", "k" + std::to_string(index), std::string(valueBytes, 'v'), ""});
  return entries;
}

// Entries come back from their packing byte for byte, in order.
TEST(ImportStagingTest, StagedEntriesComeBackAsTheyWereAdded) {
  ImportStaging staging;
  staging.Begin("set", true);
  ASSERT_TRUE(staging.Add({{wire::RecordKind::kValue, "", std::string("s\0", 2), "k", "", ""}}).ok());
  ASSERT_TRUE(staging.Add(Entries(2, 16 * 1024)).ok());
  const std::vector<ConfigEntry> unpacked = staging.entries();
  ASSERT_EQ(unpacked.size(), 3u);
  EXPECT_EQ(unpacked[0].section, std::string("s\0", 2));
  EXPECT_EQ(unpacked[0].value, "");
  EXPECT_EQ(unpacked[2].key, "k1");
  EXPECT_EQ(unpacked[2].value, std::string(16 * 1024, 'v'));
  EXPECT_TRUE(staging.replace());
}

// Past what an export may give, whatever the budget: refused, saying why,
// and dropped.
TEST(ImportStagingTest, ASetOverTheBoundOfAnExportIsRefusedAndDropped) {
  ImportStaging staging;
  staging.Begin("set", false);
  const std::size_t valuesInAQuarter = wire::kMaxSetBytes / wire::kMaxValueBytes / 4;
  const std::vector<wire::Record> quarter = Entries(valuesInAQuarter, wire::kMaxValueBytes);
  for (int part = 0; part < 3; ++part) ASSERT_TRUE(staging.Add(quarter).ok()) << part;
  const LxStatus refused = staging.Add(quarter);
  EXPECT_FALSE(refused.ok());
  EXPECT_NE(refused.message().find("larger than"), std::string::npos) << refused.message();
  EXPECT_FALSE(staging.active());
}

// What a staging holds is charged to its connection's share: a bigger
// staging gives way to another client, one that would outgrow what the
// others leave is refused, and every byte comes back when it is dropped or
// destroyed.
TEST(ImportStagingTest, AStagingIsChargedAndGivesItsBytesBack) {
  MemoryBudget budget(512 * 1024);
  Owner owner(&budget), other(&budget);
  {
    ImportStaging staging(&owner);
    owner.staging = &staging;
    staging.Begin("set", true);
    ASSERT_TRUE(staging.Add(Entries(16, 16 * 1024)).ok());
    EXPECT_GE(owner.held(), 16u * 16 * 1024);

    EXPECT_TRUE(other.HoldReply(256 * 1024));  // not bigger than the staging
    EXPECT_FALSE(staging.active());
    EXPECT_EQ(owner.held(), 0u);

    staging.Begin("set", true);
    EXPECT_FALSE(staging.Add(Entries(16, 16 * 1024)).ok());
    EXPECT_FALSE(staging.active());
    EXPECT_EQ(owner.held(), 0u);

    staging.Begin("set", true);
    ASSERT_TRUE(staging.Add(Entries(1, 1024)).ok());
    owner.staging = nullptr;
  }
  EXPECT_EQ(owner.held(), 0u);  // destroyed mid-import, as when its connection closes
}

// What a commit would change, in key order: only what differs, and with
// replace the keys the import leaves out.
TEST(ImportStagingTest, APreviewListsWhatItsCommitWouldChangeInKeyOrder) {
  using wire::RecordKind;
  const std::vector<wire::Record> current = {{RecordKind::kValue, "", "a", "same", "1", ""},
                                             {RecordKind::kValue, "", "a", "other", "1", ""},
                                             {RecordKind::kValue, "", "b", "left", "1", ""}};
  for (const bool replace : {false, true}) {
    ImportStaging staging;
    staging.Begin("set", replace);
    ASSERT_TRUE(staging
                    .Add({{RecordKind::kValue, "", "c", "new", "n", ""},
                          {RecordKind::kValue, "", "a", "other", "x", ""},
                          {RecordKind::kValue, "", "a", "other", "2", ""},  // the later value wins
                          {RecordKind::kValue, "", "a", "same", "1", ""}})
                    .ok());
    std::vector<std::string> lines;
    for (const wire::Record& change : staging.Preview(current))
      lines.push_back(std::to_string(static_cast<int>(change.kind)) + " " + change.set + " " + change.section + " " +
                      change.key + " " + change.value + " " + change.defaultValue);
    std::vector<std::string> expected = {"2 set a other 2 1", "1 set c new n "};
    if (replace) expected.insert(expected.begin() + 1, "3 set b left  1");
    EXPECT_EQ(lines, expected) << replace;
  }
}

}  // namespace
}  // namespace qet_cfgserver
