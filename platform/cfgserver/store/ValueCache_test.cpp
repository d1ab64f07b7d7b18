#include "store/ValueCache.h"

#include <gtest/gtest.h>

namespace qet_cfgserver {
namespace {

// Names may hold any byte: keys whose names run together the same way
// ("a\0b" + "c" against "a" + "\0bc") must stay apart.
TEST(ValueCacheTest, NamesThatRunTogetherAlikeAreDifferentKeys) {
  ValueCache cache(4096);
  const std::string nul(1, '\0');
  cache.Add(1, "a" + nul + "b", "c", "k", "first");
  cache.Add(1, "a", nul + "bc", "k", "second");
  cache.Add(1, "a", "", nul + "bck", "third");
  const std::string* first = cache.Find(1, "a" + nul + "b", "c", "k");
  const std::string* second = cache.Find(1, "a", nul + "bc", "k");
  const std::string* third = cache.Find(1, "a", "", nul + "bck");
  ASSERT_TRUE(first && second && third);
  EXPECT_EQ(*first, "first");
  EXPECT_EQ(*second, "second");
  EXPECT_EQ(*third, "third");
  EXPECT_EQ(cache.Find(1, "a", "bc", "k"), nullptr);
}

TEST(ValueCacheTest, ANewGenerationForgetsEverything) {
  ValueCache cache(4096);
  cache.Add(7, "net", "eth0", "mtu", "1500");
  ASSERT_NE(cache.Find(7, "net", "eth0", "mtu"), nullptr);
  EXPECT_EQ(cache.Find(8, "net", "eth0", "mtu"), nullptr);
  EXPECT_EQ(cache.bytes(), 0u);
}

// Entries past the bound empty the cache instead of growing it; a value
// larger than the bound is never kept.
TEST(ValueCacheTest, StaysWithinItsBound) {
  constexpr std::size_t kBound = 2048;
  ValueCache cache(kBound);
  for (int index = 0; index < 100; ++index) {
    cache.Add(1, "net", "eth0", "k" + std::to_string(index), std::string(100, 'v'));
    EXPECT_LE(cache.bytes(), kBound);
  }
  EXPECT_NE(cache.Find(1, "net", "eth0", "k99"), nullptr);
  cache.Add(1, "net", "eth0", "huge", std::string(kBound, 'v'));
  EXPECT_EQ(cache.Find(1, "net", "eth0", "huge"), nullptr);
}

}  // namespace
}  // namespace qet_cfgserver
