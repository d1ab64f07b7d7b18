#include "requests/RequestDispatcher.h"

#include <gtest/gtest.h>

#include "cfgwire/Limits.h"
#include "tests/support/RawClient.h"
#include "tests/support/TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

using wire::Operation;

class RequestDispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(keeper_.Open().ok()); }

  wire::Reply Dispatch(Operation operation, const std::string& set = "", const std::string& section = "",
                       const std::string& key = "", const std::string& value = "", const std::string& tag = "") {
    wire::Request request = quenlo_test::TestRequest(operation, set, section, key, value);
    request.tag = tag;
    return RequestDispatcher(&keeper_).Dispatch(request);
  }

  quenlo_test::TemporaryDirectory directory_;
  StoreKeeper keeper_{StoreSettings{directory_.File("config.db"), {}, nullptr}};
};

// Every operation, and what is unknown: the console's and cfgctl's
// end-to-end tests.
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
