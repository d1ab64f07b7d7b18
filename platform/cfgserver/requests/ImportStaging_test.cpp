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

}  // namespace
}  // namespace qet_cfgserver
