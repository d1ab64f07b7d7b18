#include "requests/ImportStaging.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace qet_cfgserver {
namespace {

const std::size_t kMegabyte = 1024 * 1024;

std::vector<wire::Record> Chunk() {
  return std::vector<wire::Record>(1, {wire::RecordKind::kValue, "", "s", "k", std::string(kMegabyte, 'v'), ""});
}

// The bound over all connections; one that meets it drops its staging. (The
// bound per connection, through a server: RequestDispatcher_test.)
TEST(ImportStagingTest, TheBoundOverAllConnectionsHolds) {
  std::size_t total = 0;
  std::vector<std::unique_ptr<ImportStaging>> stagings;
  for (int connection = 0; connection < 6; ++connection) {  // the sixth meets the 16 MiB over all
    stagings.push_back(std::make_unique<ImportStaging>());
    stagings.back()->Begin("set", false, &total);
    for (int megabyte = 0; megabyte < 3; ++megabyte) {
      const bool fits = total + kMegabyte + ImportStaging::kEntryOverhead <= ImportStaging::kMaxTotalBytes;
      EXPECT_EQ(stagings.back()->Add(Chunk()).ok(), fits) << connection << " " << megabyte;
      if (!fits) {
        EXPECT_FALSE(stagings.back()->active());
      }
    }
  }
  EXPECT_LE(total, ImportStaging::kMaxTotalBytes);
}

// A staging dropped or destroyed (a connection that closed) gives its bytes
// back to the total.
TEST(ImportStagingTest, ADroppedOrDestroyedStagingGivesItsBytesBack) {
  std::size_t total = 0;
  auto dropped = std::make_unique<ImportStaging>(), destroyed = std::make_unique<ImportStaging>();
  for (ImportStaging* staging : {dropped.get(), destroyed.get()}) {
    staging->Begin("set", false, &total);
    ASSERT_TRUE(staging->Add(Chunk()).ok());
  }
  const std::size_t both = total;
  dropped->Drop();
  EXPECT_EQ(total, both / 2);
  destroyed.reset();
  EXPECT_EQ(total, 0u);
}

// What a commit would change, in key order: only what differs, and with
// replace the keys the import leaves out.
TEST(ImportStagingTest, APreviewListsWhatItsCommitWouldChangeInKeyOrder) {
  using wire::RecordKind;
  const std::vector<wire::Record> current = {{RecordKind::kValue, "", "a", "same", "1", ""},
                                             {RecordKind::kValue, "", "a", "other", "1", ""},
                                             {RecordKind::kValue, "", "b", "left", "1", ""}};
  std::size_t total = 0;
  for (const bool replace : {false, true}) {
    ImportStaging staging;
    staging.Begin("set", replace, &total);
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
