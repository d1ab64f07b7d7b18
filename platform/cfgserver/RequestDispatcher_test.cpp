#include "RequestDispatcher.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Limits.h"
#include "TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

using quenlo_test::TemporaryDirectory;
using wire::Operation;

wire::Request MakeRequest(Operation operation, const std::string& set = "", const std::string& section = "",
                          const std::string& key = "", const std::string& value = "") {
  wire::Request request;
  request.operation = operation;
  request.command = operation == Operation::kSetValue ? CfgItemCommand::kSet : CfgItemCommand::kGet;
  request.client = "test";
  request.tag = "tag";
  request.set = set;
  request.section = section;
  request.key = key;
  request.value = value;
  return request;
}

class RequestDispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LxStatus status = ConfigStore::Open(directory_.File("config.db"), &store_);
    ASSERT_TRUE(status.ok()) << status.ToString();
    dispatcher_.reset(new RequestDispatcher(store_.get()));
  }

  wire::Reply Dispatch(const wire::Request& request) { return dispatcher_->Dispatch(request); }

  void Write(const std::string& set, const std::string& section, const std::string& key, const std::string& value) {
    ASSERT_EQ(Dispatch(MakeRequest(Operation::kSetValue, set, section, key, value)).status, CfgItemStatus::kSuccess);
  }

  TemporaryDirectory directory_;
  std::unique_ptr<ConfigStore> store_;
  std::unique_ptr<RequestDispatcher> dispatcher_;
};

TEST_F(RequestDispatcherTest, EveryOperation) {
  Write("net", "eth1", "mtu", "1500");
  Write("net", "eth0", "mtu", "9000");
  Write("net", "eth0", "dhcp", "no");
  Write("app", "ui", "lang", "en");

  wire::Reply sets = Dispatch(MakeRequest(Operation::kGetSets));
  EXPECT_EQ(sets.status, CfgItemStatus::kSuccess);
  EXPECT_EQ(sets.names, (std::vector<std::string>{"app", "net"}));

  wire::Reply sections = Dispatch(MakeRequest(Operation::kGetSections, "net"));
  EXPECT_EQ(sections.names, (std::vector<std::string>{"eth0", "eth1"}));

  wire::Reply pairs = Dispatch(MakeRequest(Operation::kGetKeysAndValues, "net", "eth0"));
  ASSERT_EQ(pairs.pairs.size(), 2u);
  EXPECT_EQ(pairs.pairs[0].key, "dhcp");
  EXPECT_EQ(pairs.pairs[0].value, "no");
  EXPECT_EQ(pairs.pairs[1].key, "mtu");
  EXPECT_EQ(pairs.pairs[1].value, "9000");

  wire::Reply value = Dispatch(MakeRequest(Operation::kGetValue, "net", "eth1", "mtu"));
  EXPECT_EQ(value.status, CfgItemStatus::kSuccess);
  EXPECT_EQ(value.value, "1500");
}

TEST_F(RequestDispatcherTest, UnknownThingsAreEmptyOrNotFound) {
  Write("net", "eth0", "mtu", "9000");
  wire::Reply sections = Dispatch(MakeRequest(Operation::kGetSections, "nothing"));
  EXPECT_EQ(sections.status, CfgItemStatus::kSuccess);
  EXPECT_TRUE(sections.names.empty());
  wire::Reply pairs = Dispatch(MakeRequest(Operation::kGetKeysAndValues, "net", "nothing"));
  EXPECT_EQ(pairs.status, CfgItemStatus::kSuccess);
  EXPECT_TRUE(pairs.pairs.empty());
  wire::Reply value = Dispatch(MakeRequest(Operation::kGetValue, "net", "eth0", "nothing"));
  EXPECT_EQ(value.status, CfgItemStatus::kKeyNotFound);
  EXPECT_EQ(value.value, "");
}

TEST_F(RequestDispatcherTest, WriteReplacesAndIgnoresTheCommandCode) {
  Write("s", "t", "k", "1");
  wire::Request request = MakeRequest(Operation::kSetValue, "s", "t", "k", "2");
  request.command = 12345;
  EXPECT_EQ(Dispatch(request).status, CfgItemStatus::kSuccess);
  EXPECT_EQ(Dispatch(MakeRequest(Operation::kGetValue, "s", "t", "k")).value, "2");
}

TEST_F(RequestDispatcherTest, RequestsOverTheLimitsAreRejectedAndChangeNothing) {
  Write("s", "t", "k", "original");
  const std::string longName(wire::kMaxNameBytes + 1, 'n');
  const std::string longLabel(wire::kMaxLabelBytes + 1, 'l');
  std::vector<wire::Request> overLimit = {
      MakeRequest(Operation::kSetValue, "s", "t", "k", std::string(wire::kMaxValueBytes + 1, 'v')),
      MakeRequest(Operation::kSetValue, longName, "t", "k", "x"),
      MakeRequest(Operation::kSetValue, "s", longName, "k", "x"),
      MakeRequest(Operation::kSetValue, "s", "t", longName, "x"),
      MakeRequest(Operation::kSetValue, "s", "t", "", "x"),
      MakeRequest(Operation::kSetValue, "s", "", "k", "x"),
      MakeRequest(Operation::kSetValue, "", "t", "k", "x"),
      MakeRequest(Operation::kGetValue, "s", "t", longName),
  };
  overLimit.push_back(MakeRequest(Operation::kSetValue, "s", "t", "k", "x"));
  overLimit.back().client = longLabel;
  overLimit.push_back(MakeRequest(Operation::kSetValue, "s", "t", "k", "x"));
  overLimit.back().tag = longLabel;

  for (const wire::Request& request : overLimit)
    EXPECT_EQ(Dispatch(request).status, CfgItemStatus::kRejected) << wire::OperationName(request.operation);

  EXPECT_EQ(Dispatch(MakeRequest(Operation::kGetValue, "s", "t", "k")).value, "original");
  EXPECT_EQ(Dispatch(MakeRequest(Operation::kGetSets)).names, (std::vector<std::string>{"s"}));
  EXPECT_EQ(Dispatch(MakeRequest(Operation::kGetSections, "s")).names, (std::vector<std::string>{"t"}));
}

TEST_F(RequestDispatcherTest, ValuesAtTheLimitsAreAccepted) {
  const std::string name(wire::kMaxNameBytes, 'n');
  const std::string value(wire::kMaxValueBytes, '\0');
  Write(name, name, name, value);
  EXPECT_EQ(Dispatch(MakeRequest(Operation::kGetValue, name, name, name)).value, value);
}

TEST_F(RequestDispatcherTest, AnswerFrameDecodesDispatchesAndEncodes) {
  Write("s", "t", "k", "v");
  std::string requestFrame;
  ASSERT_TRUE(wire::EncodeRequestFrame(MakeRequest(Operation::kGetValue, "s", "t", "k"), &requestFrame).ok());
  wire::FrameHeader header;
  ASSERT_TRUE(wire::DecodeFrameHeader(requestFrame.data(), &header).ok());
  const std::string replyFrame = dispatcher_->AnswerFrame(header, requestFrame.substr(wire::kFrameHeaderBytes));

  wire::FrameHeader replyHeader;
  ASSERT_TRUE(wire::DecodeFrameHeader(replyFrame.data(), &replyHeader).ok());
  wire::Reply reply;
  ASSERT_TRUE(wire::DecodeReplyBody(replyHeader, replyFrame.substr(wire::kFrameHeaderBytes), &reply).ok());
  EXPECT_EQ(reply.status, CfgItemStatus::kSuccess);
  EXPECT_EQ(reply.value, "v");
}

TEST_F(RequestDispatcherTest, UndecodableBodyIsRejected) {
  wire::FrameHeader header;
  header.littleEndian = true;
  for (const std::string& body : {std::string(), std::string("\x05\0\0\0", 4), std::string(40, '\xff')}) {
    header.bodyBytes = static_cast<std::uint32_t>(body.size());
    const std::string replyFrame = dispatcher_->AnswerFrame(header, body);
    wire::FrameHeader replyHeader;
    ASSERT_TRUE(wire::DecodeFrameHeader(replyFrame.data(), &replyHeader).ok());
    wire::Reply reply;
    ASSERT_TRUE(wire::DecodeReplyBody(replyHeader, replyFrame.substr(wire::kFrameHeaderBytes), &reply).ok());
    EXPECT_EQ(reply.status, CfgItemStatus::kRejected);
  }
}

TEST_F(RequestDispatcherTest, AListingTooBigForOneFrameIsAServerError) {
  // Just over the frame limit in one section, loaded in one transaction.
  const std::size_t count = wire::kMaxFrameBodyBytes / wire::kMaxValueBytes + 1;
  std::vector<ConfigEntry> entries;
  for (std::size_t index = 0; index < count; ++index)
    entries.push_back({"big", "key" + std::to_string(index), std::string(wire::kMaxValueBytes, 'v')});
  ASSERT_TRUE(store_->ImportDefaults("huge", entries).ok());

  wire::Reply reply = Dispatch(MakeRequest(Operation::kGetKeysAndValues, "huge", "big"));
  ASSERT_EQ(reply.pairs.size(), count);
  const std::string frame = RequestDispatcher::EncodeReply(reply);
  wire::FrameHeader header;
  ASSERT_TRUE(wire::DecodeFrameHeader(frame.data(), &header).ok());
  wire::Reply decoded;
  ASSERT_TRUE(wire::DecodeReplyBody(header, frame.substr(wire::kFrameHeaderBytes), &decoded).ok());
  EXPECT_EQ(decoded.status, CfgItemStatus::kServerError);
  EXPECT_TRUE(decoded.pairs.empty());
}

TEST(PrintableTest, EscapesWhatATerminalWouldInterpret) {
  EXPECT_EQ(Printable("plain text"), "plain text");
  EXPECT_EQ(Printable(std::string("a\0\n\x1b\\\xff", 6)), "a\\x00\\x0a\\x1b\\x5c\\xff");
  EXPECT_EQ(Printable(std::string(100, 'x')), std::string(80, 'x') + "...");
}

}  // namespace
}  // namespace qet_cfgserver
