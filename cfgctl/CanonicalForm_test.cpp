// The bytes cfgctl digest hashes: independent of the order keys come in,
// exactly the documented layout, and never the same for names that merely
// split the same bytes differently.

#include "cfgctl/CanonicalForm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace cfgctl {
namespace {

using qet_cfgserver::ConfigEntry;
using Entries = std::vector<ConfigEntry>;

// Sections and keys whose order a signed char would get wrong (0xE9 after
// 'z'), a NUL inside a name, a prefix of another name.
const Entries kEntries = {{"eth0", "mtu", "1500"}, {"eth0", "address", "10.0.0.1"}, {"\xE9t\xE9", "k", "v"},
                          {"z", "k", "v"},         {std::string("a\0b", 3), "k", ""},   {"a", "k", "v"},
                          {"eth0", "m", "x"}};

TEST(CanonicalFormTest, AnyOrderOfTheEntriesGivesTheSameBytes) {
  const std::string bytes = CanonicalForm::OfSet("network", kEntries);
  Entries reordered = kEntries;
  std::reverse(reordered.begin(), reordered.end());
  EXPECT_EQ(CanonicalForm::OfSet("network", reordered), bytes);
  std::rotate(reordered.begin(), reordered.begin() + 3, reordered.end());
  EXPECT_EQ(CanonicalForm::OfSet("network", reordered), bytes);
}

TEST(CanonicalFormTest, EachKeyIsItsFourFieldsWithBigEndianLengthsInByteOrder) {
  const std::string longValue(300, 'x');
  const std::string expected = std::string("\0\0\0\x01s\0\0\0\x01" "a\0\0\0\x01k\0\0\x01\x2C", 19) + longValue +
                               std::string("\0\0\0\x01s\0\0\0\x01z\0\0\0\x02k2\0\0\0\x00", 20) +
                               std::string("\0\0\0\x01s\0\0\0\x02\xE9\x00\0\0\0\x01k\0\0\0\x01v", 21);
  EXPECT_EQ(CanonicalForm::OfSet("s", {{std::string("\xE9\0", 2), "k", "v"}, {"z", "k2", ""}, {"a", "k", longValue}}),
            expected);
  EXPECT_EQ(CanonicalForm::OfSet("s", {}), "");
}

// Each pair holds the same bytes in its names, split at another place.
TEST(CanonicalFormTest, NamesSplitDifferentlyGiveDifferentBytes) {
  const struct {
    std::string setA;
    ConfigEntry entryA;
    std::string setB;
    ConfigEntry entryB;
  } cases[] = {
      {"s", {"ab", "c", "v"}, "s", {"a", "bc", "v"}},
      {"s", {"a", "bc", ""}, "s", {"a", "b", "c"}},
      {"xa", {"b", "c", "v"}, "x", {"ab", "c", "v"}},
      {"s", {"a", std::string("b\0", 2), "c"}, "s", {"a", "b", std::string("\0c", 2)}},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.entryA.section + "/" + test.entryA.key);
    EXPECT_NE(CanonicalForm::OfSet(test.setA, {test.entryA}), CanonicalForm::OfSet(test.setB, {test.entryB}));
  }
}

}  // namespace
}  // namespace cfgctl
