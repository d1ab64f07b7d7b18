// The wire format: frames, both byte orders, and what a damaged or lying
// frame does to the decoder.

#include "Messages.h"

#include <gtest/gtest.h>

#include "Frame.h"
#include "Limits.h"
#include "RequestLimits.h"
#include "RuntimeDirectory.h"

namespace qet_cfgserver {
namespace wire {
namespace {

// Writes CDR by hand, in either byte order, the way a peer of that order
// would: ulongs aligned to four bytes from the start of the body.
class HandWrittenBody {
 public:
  explicit HandWrittenBody(bool littleEndian) : littleEndian_(littleEndian) {}

  HandWrittenBody& ULong(std::uint32_t value) {
    while (bytes_.size() % 4 != 0) bytes_.push_back('\0');
    for (int i = 0; i < 4; ++i) {
      const int shift = littleEndian_ ? 8 * i : 8 * (3 - i);
      bytes_.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
    return *this;
  }
  HandWrittenBody& String(const std::string& text) {
    ULong(static_cast<std::uint32_t>(text.size()));
    bytes_ += text;
    return *this;
  }
  std::string Frame() const {
    std::string frame = {'Q', 'C', static_cast<char>(kProtocolVersion), static_cast<char>(littleEndian_ ? 1 : 0)};
    const std::uint32_t size = static_cast<std::uint32_t>(bytes_.size());
    for (int i = 0; i < 4; ++i) frame.push_back(static_cast<char>((size >> (littleEndian_ ? 8 * i : 8 * (3 - i))) & 0xFF));
    return frame + bytes_;
  }

 private:
  bool littleEndian_;
  std::string bytes_;
};

LxStatus DecodeRequestFrame(const std::string& frame, Request* request) {
  FrameHeader header;
  LxStatus status = DecodeFrameHeader(frame.data(), &header);
  if (!status.ok()) return status;
  if (frame.size() != kFrameHeaderBytes + header.bodyBytes) return LxStatus::Corruption("size mismatch");
  return DecodeRequestBody(header, frame.substr(kFrameHeaderBytes), request);
}

LxStatus DecodeReplyFrame(const std::string& frame, Reply* reply) {
  FrameHeader header;
  LxStatus status = DecodeFrameHeader(frame.data(), &header);
  if (!status.ok()) return status;
  return DecodeReplyBody(header, frame.substr(kFrameHeaderBytes), reply);
}

Request SampleWrite() {
  Request request;
  request.operation = Operation::kSetValue;
  request.command = 6;
  request.client = "quenlo";
  request.tag = "My-Test";
  request.set = "net";
  request.section = "eth0";
  request.key = "mtu";
  request.value = std::string("a,b\0c", 5);
  return request;
}

TEST(WireRoundTrip, RequestSurvivesEveryByte) {
  std::string frame;
  ASSERT_TRUE(EncodeRequestFrame(SampleWrite(), &frame).ok());
  Request decoded;
  ASSERT_TRUE(DecodeRequestFrame(frame, &decoded).ok());
  EXPECT_EQ(decoded.operation, Operation::kSetValue);
  EXPECT_EQ(decoded.command, 6u);
  EXPECT_EQ(decoded.client, "quenlo");
  EXPECT_EQ(decoded.tag, "My-Test");
  EXPECT_EQ(decoded.key, "mtu");
  EXPECT_EQ(decoded.value, std::string("a,b\0c", 5));
}

TEST(WireRoundTrip, ReplyKeepsOrderOfNamesAndPairs) {
  Reply reply;
  reply.status = CfgItemStatus::kKeyNotFound;
  reply.names = {"b", "a", ""};
  reply.pairs = {{"z", "1"}, {"", ""}, {"a", std::string(1000, 'x')}};
  std::string frame;
  ASSERT_TRUE(EncodeReplyFrame(reply, &frame).ok());
  Reply decoded;
  ASSERT_TRUE(DecodeReplyFrame(frame, &decoded).ok());
  EXPECT_EQ(decoded.status, CfgItemStatus::kKeyNotFound);
  EXPECT_EQ(decoded.names, reply.names);
  ASSERT_EQ(decoded.pairs.size(), 3u);
  EXPECT_EQ(decoded.pairs[0].key, "z");
  EXPECT_EQ(decoded.pairs[2].value, std::string(1000, 'x'));
}

TEST(WireByteOrder, FramesFromPeersOfEitherOrderDecodeTheSame) {
  for (bool littleEndian : {false, true}) {
    const std::string frame = HandWrittenBody(littleEndian)
                                  .ULong(static_cast<std::uint32_t>(Operation::kGetValue))
                                  .ULong(3)
                                  .String("quenlo")
                                  .String("RMy Test")
                                  .String("system")
                                  .String("time")
                                  .String("zone")
                                  .String("")
                                  .Frame();
    Request request;
    ASSERT_TRUE(DecodeRequestFrame(frame, &request).ok()) << "little endian: " << littleEndian;
    EXPECT_EQ(request.operation, Operation::kGetValue);
    EXPECT_EQ(request.command, 3u);
    EXPECT_EQ(request.tag, "RMy Test");
    EXPECT_EQ(request.key, "zone");
  }
}

TEST(WireByteOrder, BigEndianReplyWithListsDecodes) {
  const std::string frame = HandWrittenBody(false)
                                .ULong(CfgItemStatus::kSuccess)
                                .String("")
                                .ULong(2)
                                .String("logging")
                                .String("network")
                                .ULong(1)
                                .String("mtu")
                                .String("1500")
                                .Frame();
  Reply reply;
  ASSERT_TRUE(DecodeReplyFrame(frame, &reply).ok());
  EXPECT_EQ(reply.names, (std::vector<std::string>{"logging", "network"}));
  ASSERT_EQ(reply.pairs.size(), 1u);
  EXPECT_EQ(reply.pairs[0].value, "1500");
}

TEST(WireDamage, BadHeadersAreRefused) {
  std::string frame;
  ASSERT_TRUE(EncodeRequestFrame(SampleWrite(), &frame).ok());
  FrameHeader header;
  std::string damaged = frame;
  damaged[0] = 'X';
  EXPECT_FALSE(DecodeFrameHeader(damaged.data(), &header).ok());
  damaged = frame;
  damaged[2] = static_cast<char>(kProtocolVersion + 1);
  EXPECT_FALSE(DecodeFrameHeader(damaged.data(), &header).ok());
  damaged = frame;
  damaged[3] = 7;
  EXPECT_FALSE(DecodeFrameHeader(damaged.data(), &header).ok());

  const std::string oversized = HandWrittenBody(false).Frame().substr(0, 4) + std::string("\x7f\xff\xff\xff", 4);
  LxStatus status = DecodeFrameHeader(oversized.data(), &header);
  EXPECT_EQ(status.code(), LxStatus::Code::kInvalidArgument) << status.ToString();
}

TEST(WireDamage, TruncatedOrPaddedBodiesAreCorrupt) {
  std::string frame;
  ASSERT_TRUE(EncodeRequestFrame(SampleWrite(), &frame).ok());
  FrameHeader header;
  ASSERT_TRUE(DecodeFrameHeader(frame.data(), &header).ok());
  const std::string body = frame.substr(kFrameHeaderBytes);
  Request request;
  for (std::size_t cut = 0; cut < body.size(); ++cut)
    EXPECT_FALSE(DecodeRequestBody(header, body.substr(0, cut), &request).ok()) << "cut at " << cut;
  EXPECT_FALSE(DecodeRequestBody(header, body + "xxxx", &request).ok());
}

TEST(WireDamage, LyingCountsAndUnknownCodesAreRefused) {
  Reply reply;
  const std::string hugeCount =
      HandWrittenBody(true).ULong(CfgItemStatus::kSuccess).String("").ULong(0xFFFFFFFFu).Frame();
  EXPECT_FALSE(DecodeReplyFrame(hugeCount, &reply).ok());
  const std::string hugeString = HandWrittenBody(true).ULong(CfgItemStatus::kSuccess).ULong(0x7FFFFFFFu).Frame();
  EXPECT_FALSE(DecodeReplyFrame(hugeString, &reply).ok());
  const std::string unknownStatus = HandWrittenBody(true).ULong(42).String("").ULong(0).ULong(0).Frame();
  EXPECT_FALSE(DecodeReplyFrame(unknownStatus, &reply).ok());
  Request request;
  const std::string unknownOperation = HandWrittenBody(true).ULong(99).ULong(0).Frame();
  EXPECT_FALSE(DecodeRequestFrame(unknownOperation, &request).ok());
}

TEST(FrameAssembler, CutsAStreamFedByteByByteIntoFrames) {
  std::string first, second;
  ASSERT_TRUE(EncodeRequestFrame(SampleWrite(), &first).ok());
  Request other = SampleWrite();
  other.operation = Operation::kGetSets;
  ASSERT_TRUE(EncodeRequestFrame(other, &second).ok());
  const std::string stream = first + second;

  FrameAssembler assembler;
  std::vector<Operation> seen;
  for (char byte : stream) {
    assembler.Append(&byte, 1);
    FrameHeader header;
    std::string body;
    LxStatus error;
    while (assembler.Next(&header, &body, &error) == FrameAssembler::Result::kFrame) {
      Request request;
      ASSERT_TRUE(DecodeRequestBody(header, body, &request).ok());
      seen.push_back(request.operation);
    }
  }
  EXPECT_EQ(seen, (std::vector<Operation>{Operation::kSetValue, Operation::kGetSets}));
  EXPECT_EQ(assembler.BufferedBytes(), 0u);
}

TEST(FrameAssembler, GarbageIsABadFrame) {
  FrameAssembler assembler;
  assembler.Append("GET / HTTP/1.0\r\n", 16);
  FrameHeader header;
  std::string body;
  LxStatus error;
  EXPECT_EQ(assembler.Next(&header, &body, &error), FrameAssembler::Result::kBadFrame);
  EXPECT_FALSE(error.ok());
}

TEST(RequestLimits, NamesValuesAndLabelsHaveCeilings) {
  Request request = SampleWrite();
  EXPECT_TRUE(CheckRequestLimits(request).ok());
  request.key = std::string(kMaxNameBytes, 'k');
  request.value = std::string(kMaxValueBytes, 'v');
  EXPECT_TRUE(CheckRequestLimits(request).ok());
  request.key += "k";
  EXPECT_FALSE(CheckRequestLimits(request).ok());
  request = SampleWrite();
  request.value += std::string(kMaxValueBytes, 'v');
  EXPECT_FALSE(CheckRequestLimits(request).ok());
  request = SampleWrite();
  request.tag = std::string(kMaxLabelBytes + 1, 't');
  EXPECT_FALSE(CheckRequestLimits(request).ok());
}

TEST(RequestLimits, AWriteNeedsSetSectionAndKey) {
  for (std::string Request::*field : {&Request::set, &Request::section, &Request::key}) {
    Request request = SampleWrite();
    request.*field = "";
    EXPECT_FALSE(CheckRequestLimits(request).ok());
    request.operation = Operation::kGetValue;
    EXPECT_TRUE(CheckRequestLimits(request).ok());
  }
}

TEST(RuntimeDirectory, EnvironmentWinsAndPathsAreChecked) {
  setenv(kRuntimeDirectoryVariable, "/some/where", 1);
  EXPECT_EQ(DefaultRuntimeDirectory(), "/some/where");
  setenv(kRuntimeDirectoryVariable, "", 1);
  EXPECT_NE(DefaultRuntimeDirectory(), "");
  unsetenv(kRuntimeDirectoryVariable);

  std::string path;
  ASSERT_TRUE(EndpointPath("/run/x", "CfgServer-ReadFifo", &path).ok());
  EXPECT_EQ(path, "/run/x/CfgServer-ReadFifo");
  EXPECT_FALSE(EndpointPath("/run/x", "a/b", &path).ok());
  EXPECT_FALSE(EndpointPath("/run/x", "", &path).ok());
  EXPECT_FALSE(EndpointPath(std::string(200, 'd'), "CfgServer-ReadFifo", &path).ok());
}

}  // namespace
}  // namespace wire
}  // namespace qet_cfgserver
