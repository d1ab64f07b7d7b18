#include "requests/ConfirmationKeeper.h"

#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <thread>
#include <vector>

#include "tests/support/FaultInjectingVfs.h"
#include "tests/support/TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

// A rollback at the deadline that cannot be written (the disk is full) is
// tried again kRetrySeconds later, not at once; once it can be written, it
// rolls the change back and nothing awaits any more.
TEST(ConfirmationKeeperTest, ARollbackThatFailsIsTriedAgainLaterNotAtOnce) {
  quenlo_test::TemporaryDirectory directory;
  quenlo_test::FaultInjectingVfs vfs("confirmation-keeper");
  StoreKeeper keeper(StoreSettings{directory.File("config.db"), {}, vfs.name()});
  ASSERT_TRUE(keeper.Open().ok());
  ChangeNote toConfirm;
  toConfirm.confirmSeconds = 1;
  CommittedRevision made;
  ASSERT_TRUE(keeper.store()->SetValue("net", "eth0", "mtu", "9000", toConfirm, &made).ok());
  std::vector<std::optional<std::int64_t>> armed;
  ConfirmationKeeper confirmations(&keeper, nullptr,
                                   [&armed](std::optional<std::int64_t> deadline) { armed.push_back(deadline); });
  confirmations.Refresh();
  ASSERT_EQ(armed.size(), 1u);
  ASSERT_TRUE(armed[0]);
  while (time(nullptr) < *armed[0]) std::this_thread::sleep_for(std::chrono::milliseconds(50));

  vfs.SetDiskFull(true);
  const std::int64_t failedAt = time(nullptr);
  confirmations.Expire();
  ASSERT_EQ(armed.size(), 2u);
  ASSERT_TRUE(armed[1]);
  EXPECT_GE(*armed[1], failedAt + ConfirmationKeeper::kRetrySeconds);
  std::string value;
  EXPECT_TRUE(keeper.store()->GetValue("net", "eth0", "mtu", &value).ok());  // still the change

  vfs.SetDiskFull(false);
  confirmations.Expire();
  EXPECT_EQ(keeper.store()->GetValue("net", "eth0", "mtu", &value).code(), LxStatus::Code::kNotFound);
  ASSERT_EQ(armed.size(), 3u);
  EXPECT_FALSE(armed[2]);
  keeper.Close();
}

}  // namespace
}  // namespace qet_cfgserver
