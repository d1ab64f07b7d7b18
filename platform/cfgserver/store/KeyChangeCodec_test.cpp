#include "store/KeyChangeCodec.h"

#include <gtest/gtest.h>

namespace qet_cfgserver {
namespace {

TEST(KeyChangeCodecTest, KeysComeBackByteForByteAbsentValuesIncluded) {
  const std::string bytes("\0\xff\x80 =", 5);
  const std::vector<KeyChange> changes = {
      {"net", "eth0", "mtu", std::nullopt, std::string("9000")},
      {bytes, "", std::string(300, 'k'), std::string(), std::nullopt},  // a length past one byte
      {"s", "x", "k", bytes, bytes},
  };
  std::vector<KeyChange> decoded;
  ASSERT_TRUE(KeyChangeCodec::Decode(KeyChangeCodec::Encode(changes), &decoded).ok());
  ASSERT_EQ(decoded.size(), changes.size());
  for (std::size_t index = 0; index < changes.size(); ++index) {
    EXPECT_EQ(std::tie(decoded[index].set, decoded[index].section, decoded[index].key, decoded[index].before,
                       decoded[index].after),
              std::tie(changes[index].set, changes[index].section, changes[index].key, changes[index].before,
                       changes[index].after))
        << index;
  }
  EXPECT_EQ(KeyChangeCodec::Encode({}), "");
}

// A damaged row is reported, never read past its end.
TEST(KeyChangeCodecTest, DamagedPackingsAreCorruption) {
  const std::string packed = KeyChangeCodec::Encode({{"net", "eth0", "mtu", std::string("1500"), std::string("9000")}});
  for (std::size_t length = 1; length < packed.size(); ++length) {
    std::vector<KeyChange> decoded;
    EXPECT_EQ(KeyChangeCodec::Decode(packed.substr(0, length), &decoded).code(), LxStatus::Code::kCorruption) << length;
  }
  const std::string endlessNumber(11, '\xff'), hugeLength("\xff\xff\xff\xff\x0f", 5);
  for (const std::string& damaged : {endlessNumber, hugeLength}) {
    std::vector<KeyChange> decoded;
    EXPECT_EQ(KeyChangeCodec::Decode(damaged, &decoded).code(), LxStatus::Code::kCorruption);
  }
}

}  // namespace
}  // namespace qet_cfgserver
