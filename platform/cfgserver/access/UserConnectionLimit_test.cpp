// The per-user connection limit and the one-warning-per-burst log it keeps.
#include "access/UserConnectionLimit.h"

#include <gtest/gtest.h>

namespace qet_cfgserver {
namespace {

constexpr uid_t kServerUser = 500;

PeerCredentials Peer(uid_t uid) {
  PeerCredentials peer;
  peer.uid = uid;
  return peer;
}

TEST(UserConnectionLimitTest, EachUserHasItsOwnLimitAndPrivilegedUsersNone) {
  UserConnectionLimit limit(2, kServerUser);
  EXPECT_TRUE(limit.Admit(Peer(1001)));
  EXPECT_TRUE(limit.Admit(Peer(1001)));
  EXPECT_FALSE(limit.Admit(Peer(1001)));
  EXPECT_TRUE(limit.Admit(Peer(1002)));
  for (int connection = 0; connection < 5; ++connection) {
    EXPECT_TRUE(limit.Admit(Peer(0)));
    EXPECT_TRUE(limit.Admit(Peer(kServerUser)));
  }
  limit.Release(Peer(1001));
  EXPECT_TRUE(limit.Admit(Peer(1001)));
  EXPECT_FALSE(limit.Admit(Peer(1001)));
}

TEST(PerUserWarningsTest, OneWarningWhenAUsersBurstStartsNoneUntilItWasQuiet) {
  PerUserWarnings warnings;
  const PerUserWarnings::Clock::time_point start;
  const auto later = start + PerUserWarnings::kQuietPeriod;
  EXPECT_TRUE(warnings.StartsBurst(1001, start));
  EXPECT_FALSE(warnings.StartsBurst(1001, start + std::chrono::seconds(1)));
  EXPECT_TRUE(warnings.StartsBurst(1002, start + std::chrono::seconds(1)));
  EXPECT_FALSE(warnings.StartsBurst(1001, later));  // still within the burst: the last refusal was at 1 s
  EXPECT_TRUE(warnings.StartsBurst(1001, later + PerUserWarnings::kQuietPeriod));

}

TEST(PerUserWarningsTest, PastItsBoundTheQuietestUserIsForgotten) {
  PerUserWarnings warnings;
  const PerUserWarnings::Clock::time_point start;
  const auto soon = start + std::chrono::seconds(1);
  EXPECT_TRUE(warnings.StartsBurst(1, start));
  for (uid_t uid = 2; uid <= PerUserWarnings::kMaxUsers; ++uid) EXPECT_TRUE(warnings.StartsBurst(uid, soon));
  EXPECT_TRUE(warnings.StartsBurst(9999, soon));
  EXPECT_FALSE(warnings.StartsBurst(2, soon));
  EXPECT_TRUE(warnings.StartsBurst(1, soon));
}

}  // namespace
}  // namespace qet_cfgserver
