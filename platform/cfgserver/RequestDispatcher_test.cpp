#include "RequestDispatcher.h"

#include <gtest/gtest.h>

#include "Limits.h"
#include "TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

using wire::Operation;

class RequestDispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(keeper_.Open().ok()); }

  wire::Reply Dispatch(Operation operation, const std::string& set = "", const std::string& section = "",
                       const std::string& key = "", const std::string& value = "", const std::string& tag = "") {
    return RequestDispatcher(&keeper_).Dispatch({operation, 0, "test", tag, set, section, key, value});
  }

  quenlo_test::TemporaryDirectory directory_;
  StoreKeeper keeper_{StoreSettings{directory_.File("config.db"), {}, nullptr}};
};

TEST_F(RequestDispatcherTest, EveryOperationAndWhatIsUnknown) {
  const std::vector<std::string> writes[] = {{"net", "eth1", "mtu", "1500"}, {"net", "eth0", "mtu", "1500"},
                                             {"net", "eth0", "mtu", "9000"}, {"net", "eth0", "dhcp", "no"},
                                             {"app", "ui", "lang", "en"}};
  for (const std::vector<std::string>& write : writes)
    ASSERT_EQ(Dispatch(Operation::kSetValue, write[0], write[1], write[2], write[3]).status, CfgItemStatus::kSuccess);
  EXPECT_EQ(Dispatch(Operation::kGetSets).names, (std::vector<std::string>{"app", "net"}));
  EXPECT_EQ(Dispatch(Operation::kGetSections, "net").names, (std::vector<std::string>{"eth0", "eth1"}));
  std::string pairs;
  for (const wire::KeyValue& pair : Dispatch(Operation::kGetKeysAndValues, "net", "eth0").pairs)
    pairs += pair.key + "=" + pair.value + " ";
  EXPECT_EQ(pairs, "dhcp=no mtu=9000 ");
  const wire::Reply unknownSet = Dispatch(Operation::kGetSections, "nothing");
  EXPECT_TRUE(unknownSet.status == CfgItemStatus::kSuccess && unknownSet.names.empty());
  EXPECT_EQ(Dispatch(Operation::kGetValue, "net", "eth0", "nothing").status, CfgItemStatus::kKeyNotFound);
}

TEST_F(RequestDispatcherTest, RequestsOverTheLimitsAreRejectedAndChangeNothing) {
  const std::string name(wire::kMaxNameBytes, 'n'), longName = name + "n", value(wire::kMaxValueBytes, '\0');
  ASSERT_EQ(Dispatch(Operation::kSetValue, name, name, name, value).status, CfgItemStatus::kSuccess);  // at the limits
  const std::vector<std::string> overLimit[] = {
      {name, name, name, value + "v", ""}, {longName, "t", "k", "x", ""}, {"s", longName, "k", "x", ""},
      {"s", "t", longName, "x", ""},       {"", "t", "k", "x", ""},       {"s", "", "k", "x", ""},
      {"s", "t", "", "x", ""},             {"s", "t", "k", "x", std::string(wire::kMaxLabelBytes + 1, 'l')}};
  for (const std::vector<std::string>& write : overLimit)
    EXPECT_EQ(Dispatch(Operation::kSetValue, write[0], write[1], write[2], write[3], write[4]).status,
              CfgItemStatus::kRejected);
  EXPECT_EQ(Dispatch(Operation::kGetValue, name, name, name).value, value);
  EXPECT_EQ(Dispatch(Operation::kGetSets).names, (std::vector<std::string>{name}));
}

}  // namespace
}  // namespace qet_cfgserver
