// The wire format: both byte orders, and what damaged or lying frames do.
// Encoding is exercised by every test that talks to a server; frames cut
// into pieces by the server tests (a half frame, then the rest).

#include "cfgwire/Messages.h"

#include <ace/CDR_Base.h>
#include <gtest/gtest.h>

#include <tuple>

#include "cfgwire/MessageDecoder.h"
#include "cfgwire/MessageEncoder.h"
#include "tests/support/HandWrittenFrame.h"


namespace qet_cfgserver {
namespace wire {
namespace {

using quenlo_test::HandWrittenFrame;

template <typename Message>
LxStatus Decode(const std::string& frame, Message* message) {
  FrameHeader header;
  LxStatus status = DecodeFrameHeader(frame.data(), &header);
  if (!status.ok()) return status;
  const std::string body = frame.substr(kFrameHeaderBytes);
  if constexpr (std::is_same_v<Message, Request>)
    return DecodeRequestBody(header, body, message);
  else
    return DecodeReplyBody(header, body, message);
}

Request SampleWrite() {
  Request request;
  request.operation = Operation::kSetValue;
  request.SetRequestCode(CfgItemCommand::kSet);
  request.client = "quenlo";
  request.tag = "My-Test";
  request.set = "net";
  request.section = "eth0";
  request.key = "mtu";
  request.value = std::string("a,b\0c", 5);
  return request;
}

Reply ReplyOf(CfgItemStatus::Status status) {
  Reply reply;
  reply.status = status;
  return reply;
}

TEST(Wire, FramesFromPeersOfEitherByteOrderDecodeTheSame) {
  for (bool littleEndian : {false, true}) {
    Request request;
    ASSERT_TRUE(Decode(HandWrittenFrame(littleEndian)
                           .ULong(static_cast<std::uint32_t>(Operation::kGetValue))
                           .ULong(3)
                           .String("quenlo").String("RMy Test").String("system").String("time").String("zone").String("")
                           .Frame(),
                       &request)
                    .ok());
    EXPECT_EQ(request.operation, Operation::kGetValue);
    EXPECT_EQ(request.requestCode(), 3u);
    EXPECT_EQ(request.key, "zone");

    Reply reply;
    ASSERT_TRUE(Decode(HandWrittenFrame(littleEndian)
                           .ULong(CfgItemStatus::kSuccess).String("")
                           .ULong(2).String("logging").String("network")
                           .ULong(1).String("mtu").String("1500")
                           .Frame(),
                       &reply)
                    .ok());
    EXPECT_EQ(reply.names, (std::vector<std::string>{"logging", "network"}));
    ASSERT_EQ(reply.pairs.size(), 1u);
    EXPECT_EQ(reply.pairs[0].value, "1500");
  }
}

// Byte for byte, padding included: CDR leaves padding unwritten, and stale
// heap bytes must never reach a peer (ASan's malloc fill shows them).
TEST(Wire, EncoderWritesWhatAPeerOfThisByteOrderWrites) {
  const bool native = ACE_CDR_BYTE_ORDER == 1;
  std::string frame;
  ASSERT_TRUE(EncodeRequestFrame(SampleWrite(), &frame).ok());
  EXPECT_EQ(frame, HandWrittenFrame(native)
                       .ULong(static_cast<std::uint32_t>(Operation::kSetValue)).ULong(6)
                       .String("quenlo").String("My-Test").String("net").String("eth0").String("mtu")
                       .String(std::string("a,b\0c", 5))
                       .Frame());
  Reply reply;
  reply.value = "v";
  reply.names = {"ab", "cde"};
  reply.pairs = {{"k", "12345"}};
  ASSERT_TRUE(EncodeReplyFrame(reply, &frame).ok());
  EXPECT_EQ(frame, HandWrittenFrame(native)
                       .ULong(CfgItemStatus::kSuccess).String("v")
                       .ULong(2).String("ab").String("cde")
                       .ULong(1).String("k").String("12345")
                       .Frame());
}

// A rejection's reason rides at the end of a version 2 reply, cut to
// kMaxReasonBytes; the console's version 1 replies never carry it.
TEST(Wire, ReasonTravelsOnlyInVersionTwoReplies) {
  Reply rejected = ReplyOf(CfgItemStatus::kRejected);
  rejected.reason = "15OO is not an integer in 68..9000";
  std::string frame;
  ASSERT_TRUE(EncodeReplyFrame(rejected, &frame, kProtocolVersion).ok());
  Reply decoded;
  ASSERT_TRUE(Decode(frame, &decoded).ok());
  EXPECT_EQ(decoded.reason, rejected.reason);

  std::string withoutReason;
  ASSERT_TRUE(EncodeReplyFrame(ReplyOf(CfgItemStatus::kRejected), &withoutReason).ok());
  ASSERT_TRUE(EncodeReplyFrame(rejected, &frame).ok());
  EXPECT_EQ(frame, withoutReason);

  rejected.reason.assign(kMaxReasonBytes + 10, 'x');
  ASSERT_TRUE(EncodeReplyFrame(rejected, &frame, kProtocolVersion).ok());
  ASSERT_TRUE(Decode(frame, &decoded).ok());
  EXPECT_EQ(decoded.reason.size(), kMaxReasonBytes);
}

// What an operation takes besides its names goes in the body's second
// ulong, under each operation's own meaning: the request code, a scope's
// level, an import's replace flag. Peers of every release read it there.
TEST(Wire, EachOperationsArgumentTakesTheSecondULong) {
  Request get = SampleWrite(), remove = SampleWrite(), replace = SampleWrite(), add = SampleWrite();
  get.operation = Operation::kGetValue;
  get.SetRequestCode(CfgItemCommand::kGet);
  remove.operation = Operation::kDelete;
  remove.SetScope({ConfigScope::Level::kSection, "net", "eth0", ""});
  replace.operation = add.operation = Operation::kImportBegin;
  replace.SetReplace(true);
  add.SetReplace(false);
  const std::pair<const Request*, std::uint32_t> cases[] = {{&get, 3}, {&remove, 2}, {&replace, 1}, {&add, 0}};
  for (const auto& [request, argument] : cases) {
    std::string frame, expected;
    ASSERT_TRUE(EncodeRequestFrame(*request, &frame).ok());
    HandWrittenFrame(ACE_CDR_BYTE_ORDER == 1).ULong(argument, &expected);
    EXPECT_EQ(frame.substr(kFrameHeaderBytes + layout::kULongBytes, layout::kULongBytes), expected)
        << OperationName(request->operation);
  }
}

// Revision numbers are 64 bits as two ulongs, the high half first, in the
// requests of the revision operations and in answers of kind kRevisions.
TEST(Wire, RevisionFieldsTravelAsTwoULongsHighHalfFirst) {
  for (bool littleEndian : {false, true}) {
    Request request;
    ASSERT_TRUE(Decode(HandWrittenFrame(littleEndian)
                           .ULong(static_cast<std::uint32_t>(Operation::kHistory)).ULong(1)
                           .String("cfgctl").String("").String("net").String("").String("").String("")
                           .ULong(0)                 // no entries
                           .ULong(1).ULong(2)        // revision
                           .ULong(0xffffffffu).ULong(0xffffffffu)
                           .ULong(20)                // count
                           .ULong(0)                 // confirmSeconds
                           .Frame(kProtocolVersion),
                       &request)
                    .ok());
    EXPECT_EQ(request.revision, 0x100000002u);
    EXPECT_EQ(request.otherRevision, kCurrentRevision);
    EXPECT_EQ(request.count, 20u);
    EXPECT_EQ(request.scope().set, "net");

    Reply reply;
    ASSERT_TRUE(Decode(HandWrittenFrame(littleEndian)
                           .ULong(CfgItemStatus::kSuccess).String("").ULong(0).ULong(0)
                           .ULong(static_cast<std::uint32_t>(ReplyKind::kRevisions)).ULong(0)
                           .ULong(1).ULong(static_cast<std::uint32_t>(RecordKind::kDeleted))
                           .String("net").String("eth0").String("mtu").String("").String("1500")
                           .ULong(0).ULong(7).ULong(0).ULong(1)  // revision 7, oldest kept 1
                           .ULong(1).ULong(0).ULong(7).ULong(0).ULong(1765000000)
                           .ULong(1000).ULong(42).String("alice").String("cfgctl").String("cfgctl").String("t")
                           .String("delete net eth0").ULong(1)
                           .Frame(kProtocolVersion),
                       &reply)
                    .ok());
    EXPECT_EQ(reply.revision, 7u);
    EXPECT_EQ(reply.oldestKept, 1u);
    ASSERT_EQ(reply.revisions.size(), 1u);
    EXPECT_EQ(reply.revisions[0].time, 1765000000);
    EXPECT_EQ(reply.revisions[0].author.userName, "alice");
    EXPECT_EQ(reply.revisions[0].author.pid, 42u);
    EXPECT_EQ(reply.revisions[0].summary, "delete net eth0");
    ASSERT_EQ(reply.records.size(), 1u);
    const KeyChange change = KeyChangeOf(reply.records[0]);
    EXPECT_EQ(change.before, std::optional<std::string>("1500"));
    EXPECT_FALSE(change.after);
  }
  // And back: what this machine writes decodes to the same.
  Request request;
  request.operation = Operation::kDiff;
  request.revision = 0x123456789au;
  request.otherRevision = 3;
  std::string frame;
  ASSERT_TRUE(EncodeRequestFrame(request, &frame).ok());
  Request decoded;
  ASSERT_TRUE(Decode(frame, &decoded).ok());
  EXPECT_EQ(std::tie(decoded.revision, decoded.otherRevision), std::tie(request.revision, request.otherRevision));
}

TEST(Wire, DamagedOrLyingFramesAreRefused) {
  std::string frame;
  ASSERT_TRUE(EncodeRequestFrame(SampleWrite(), &frame).ok());
  Request request;
  FrameHeader header;
  EXPECT_FALSE(DecodeFrameHeader(std::string("QC\x01\x00\x7f\xff\xff\xff", 8).data(), &header).ok()) << "oversize";
  for (auto [offset, byte] : {std::pair<int, char>{0, 'X'}, {2, kProtocolVersion + 1}, {3, 7}}) {
    std::string damaged = frame;
    damaged[offset] = byte;
    EXPECT_FALSE(Decode(damaged, &request).ok()) << "byte " << offset;
  }
  for (std::size_t cut = kFrameHeaderBytes; cut < frame.size(); ++cut)
    EXPECT_FALSE(Decode(frame.substr(0, cut), &request).ok()) << "cut at " << cut;
  EXPECT_FALSE(Decode(frame + "xxxx", &request).ok());

  Reply reply;
  EXPECT_FALSE(Decode(HandWrittenFrame(true).ULong(0).String("").ULong(0xFFFFFFFFu).Frame(), &reply).ok());
  EXPECT_FALSE(Decode(HandWrittenFrame(true).ULong(0).ULong(0x7FFFFFFFu).Frame(), &reply).ok());
  EXPECT_FALSE(Decode(HandWrittenFrame(true).ULong(42).String("").ULong(0).ULong(0).Frame(), &reply).ok());
  EXPECT_FALSE(Decode(HandWrittenFrame(true).ULong(99).ULong(0).Frame(), &request).ok());
  // A revision operation in a version-1 frame, or one without its revision fields.
  EXPECT_FALSE(Decode(HandWrittenFrame(true).ULong(static_cast<std::uint32_t>(Operation::kRevision)).ULong(0).Frame(),
                      &request)
                   .ok());
  Request revision;
  revision.operation = Operation::kRevision;
  ASSERT_TRUE(EncodeRequestFrame(revision, &frame).ok());
  for (std::size_t cut = kFrameHeaderBytes; cut < frame.size(); ++cut)
    EXPECT_FALSE(Decode(frame.substr(0, cut), &request).ok()) << "revision cut at " << cut;
}

// The server keeps one decoder and one encoder for every message: nothing
// of a long message, a truncated one or another byte order may reach the
// next.
TEST(Wire, AKeptDecoderAndEncoderStartEachMessageAfresh) {
  MessageDecoder decoder;
  const auto decode = [&decoder](const std::string& frame, Request* request) {
    FrameHeader header;
    EXPECT_TRUE(DecodeFrameHeader(frame.data(), &header).ok());
    return DecodeRequestBody(header, frame.substr(kFrameHeaderBytes), request, &decoder);
  };
  Request longWrite = SampleWrite();
  longWrite.value.assign(4000, 'v');
  std::string frame;
  ASSERT_TRUE(EncodeRequestFrame(longWrite, &frame).ok());
  Request request;
  ASSERT_TRUE(decode(frame, &request).ok());
  EXPECT_EQ(request.value, longWrite.value);
  EXPECT_FALSE(decode(frame.substr(0, frame.size() - 1), &request).ok());
  for (bool littleEndian : {false, true}) {
    const std::string get = HandWrittenFrame(littleEndian)
                                .ULong(static_cast<std::uint32_t>(Operation::kGetValue)).ULong(3)
                                .String("quenlo").String("").String("system").String("time").String("zone").String("")
                                .Frame();
    request = Request();
    ASSERT_TRUE(decode(get, &request).ok()) << littleEndian;
    EXPECT_EQ(request.requestCode(), 3u);
    EXPECT_EQ(request.key, "zone");
  }

  MessageEncoder encoder;
  Reply listing = ReplyOf(CfgItemStatus::kSuccess);
  listing.names.assign(100, std::string(40, 'n'));
  std::string kept, fresh;
  ASSERT_TRUE(EncodeReplyFrame(listing, &kept, kProtocolVersion, &encoder).ok());
  ASSERT_TRUE(EncodeReplyFrame(listing, &fresh, kProtocolVersion).ok());
  EXPECT_EQ(kept, fresh);
  ASSERT_TRUE(EncodeReplyFrame(ReplyOf(CfgItemStatus::kKeyNotFound), &kept, kProtocolVersion, &encoder).ok());
  ASSERT_TRUE(EncodeReplyFrame(ReplyOf(CfgItemStatus::kKeyNotFound), &fresh, kProtocolVersion).ok());
  EXPECT_EQ(kept, fresh);
}

// A write to be confirmed goes as version 2, ending with the revision
// fields; a plain one stays exactly as it always was (EncoderWrites...).
TEST(Wire, AWriteToBeConfirmedEndsWithTheRevisionFields) {
  Request request = SampleWrite();
  request.confirmSeconds = 30;
  std::string frame;
  ASSERT_TRUE(EncodeRequestFrame(request, &frame).ok());
  EXPECT_EQ(frame, HandWrittenFrame(ACE_CDR_BYTE_ORDER == 1)
                       .ULong(static_cast<std::uint32_t>(Operation::kSetValue)).ULong(6)
                       .String("quenlo").String("My-Test").String("net").String("eth0").String("mtu")
                       .String(std::string("a,b\0c", 5))
                       .ULong(0).ULong(0).ULong(0).ULong(0).ULong(0).ULong(0).ULong(30)
                       .Frame(kProtocolVersion));
  Request decoded;
  ASSERT_TRUE(Decode(frame, &decoded).ok());
  EXPECT_EQ(decoded.confirmSeconds, 30u);
  // A tail without a wait is no encoder's.
  std::string noWait = frame;
  noWait.replace(noWait.size() - 4, 4, std::string(4, '\0'));
  EXPECT_FALSE(Decode(noWait, &decoded).ok());
  // Other old operations take no such tail.
  std::string get = frame;
  get[kFrameHeaderBytes + (ACE_CDR_BYTE_ORDER == 1 ? 0 : 3)] = static_cast<char>(Operation::kGetValue);
  EXPECT_FALSE(Decode(get, &decoded).ok());
}

TEST(Wire, TheLargestLegalRequestIsTheServersLimit) {
  const std::string label(kMaxLabelBytes, 'l'), name(kMaxNameBytes, 'n');
  Request request = SampleWrite();
  request.confirmSeconds = kMaxConfirmSeconds;
  request.client = request.tag = label;
  request.set = request.section = request.key = name;
  request.value.assign(kMaxValueBytes, 'v');
  std::string largest;
  ASSERT_TRUE(EncodeRequestFrame(request, &largest, kProtocolVersion).ok());
  EXPECT_EQ(largest.size(), kFrameHeaderBytes + kMaxRequestBodyBytes);

  FrameAssembler fits(kMaxRequestBodyBytes);
  fits.Append(largest.data(), largest.size());
  FrameHeader header;
  std::string body;
  LxStatus error;
  EXPECT_EQ(fits.Next(&header, &body, &error), FrameAssembler::Result::kFrame);
  // A header one byte over is refused before its body: the server tests.
}

}  // namespace
}  // namespace wire
}  // namespace qet_cfgserver
