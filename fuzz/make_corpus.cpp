// Writes the fuzzers' seed corpus: valid frames of both byte orders, written
// byte by byte as a peer of that order would (HandWrittenFrame), plus a few
// damaged streams. Every frame is first checked against the real decoders,
// and a frame in this machine's order against the real encoder, so the seeds
// stay true to the wire format. Regenerate with
//   build/fuzz/fuzz/make_corpus fuzz/corpus
// and commit what changed.

#include <ace/CDR_Base.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "cfgwire/Limits.h"
#include "cfgwire/Messages.h"
#include "tests/support/HandWrittenFrame.h"

namespace {

using namespace qet_cfgserver;
using quenlo_test::HandWrittenFrame;

// Seed names end in the byte order of their frames.
const bool kBothOrders[] = {true, false};
const char* OrderSuffix(bool littleEndian) { return littleEndian ? "-le" : "-be"; }

// The first byte of a server stream seed says how the stream arrives (see
// ReadSizes in server_stream_fuzzer.cpp).
constexpr char kByteByByte = 0;
constexpr char kWholeStream = static_cast<char>(255);

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "make_corpus: %s\n", why.c_str());
  std::exit(1);
}

bool IsNativeOrder(bool littleEndian) { return littleEndian == (ACE_CDR_BYTE_ORDER == 1); }

template <typename Message>
Message DecodeOrFail(const std::string& frame) {
  wire::FrameHeader header;
  Message message;
  LxStatus status = wire::DecodeFrameHeader(frame.data(), &header);
  if (status.ok()) {
    const std::string body = frame.substr(wire::kFrameHeaderBytes);
    if constexpr (std::is_same_v<Message, wire::Request>)
      status = wire::DecodeRequestBody(header, body, &message);
    else
      status = wire::DecodeReplyBody(header, body, &message);
  }
  if (!status.ok()) Fail("a seed frame does not decode: " + status.ToString());
  return message;
}

std::string RequestFrame(bool littleEndian, const wire::Request& request) {
  HandWrittenFrame frame(littleEndian);
  frame.ULong(static_cast<std::uint32_t>(request.operation)).ULong(request.requestCode());
  for (const std::string* field :
       {&request.client, &request.tag, &request.set, &request.section, &request.key, &request.value})
    frame.String(*field);
  const std::string bytes = frame.Frame();
  const wire::Request decoded = DecodeOrFail<wire::Request>(bytes);
  if (decoded.operation != request.operation || decoded.key != request.key || decoded.value != request.value)
    Fail("a seed request decodes as another request");
  std::string encoded;
  if (IsNativeOrder(littleEndian) && (!wire::EncodeRequestFrame(request, &encoded).ok() || encoded != bytes))
    Fail("a seed request differs from what the encoder writes");
  return bytes;
}

std::string ReplyFrame(bool littleEndian, const wire::Reply& reply) {
  HandWrittenFrame frame(littleEndian);
  frame.ULong(reply.status).String(reply.value).ULong(static_cast<std::uint32_t>(reply.names.size()));
  for (const std::string& name : reply.names) frame.String(name);
  frame.ULong(static_cast<std::uint32_t>(reply.pairs.size()));
  for (const wire::KeyValue& pair : reply.pairs) frame.String(pair.key).String(pair.value);
  const std::string bytes = frame.Frame();
  const wire::Reply decoded = DecodeOrFail<wire::Reply>(bytes);
  if (decoded.status != reply.status || decoded.names != reply.names || decoded.pairs.size() != reply.pairs.size())
    Fail("a seed reply decodes as another reply");
  std::string encoded;
  if (IsNativeOrder(littleEndian) && (!wire::EncodeReplyFrame(reply, &encoded).ok() || encoded != bytes))
    Fail("a seed reply differs from what the encoder writes");
  return bytes;
}

wire::Request Ask(wire::Operation operation, std::string set = "", std::string section = "", std::string key = "",
                  std::string value = "") {
  wire::Request request;
  request.operation = operation;
  request.SetRequestCode(operation == wire::Operation::kSetValue   ? CfgItemCommand::kSet
                         : operation == wire::Operation::kGetValue ? CfgItemCommand::kGet
                                                                   : 0);
  request.client = "quenlo";
  request.tag = "fuzz seed";
  request.set = std::move(set);
  request.section = std::move(section);
  request.key = std::move(key);
  request.value = std::move(value);
  return request;
}

// Version 2 frames in this machine's order, from the real encoder and
// checked against the real decoder: the hand-written frames above cover the
// other order's reading of the fields both versions share.
std::string NativeRequestFrame(const wire::Request& request, std::uint8_t version = wire::kFirstProtocolVersion) {
  std::string frame;
  if (!wire::EncodeRequestFrame(request, &frame, version).ok()) Fail("a version-2 seed request does not encode");
  DecodeOrFail<wire::Request>(frame);
  return frame;
}

std::string NativeReplyFrame(const wire::Reply& reply) {
  std::string frame;
  if (!wire::EncodeReplyFrame(reply, &frame, wire::kProtocolVersion).ok()) Fail("a version-2 seed reply does not encode");
  DecodeOrFail<wire::Reply>(frame);
  return frame;
}

// The seeds give every version 2 request a scope, also those that ignore it.
wire::Request Scoped(wire::Operation operation, ConfigScope::Level level, std::string set = "", std::string section = "",
                     std::string key = "") {
  wire::Request request;
  request.operation = operation;
  request.client = "cfgctl";
  request.tag = "fuzz seed";
  request.SetScope(ConfigScope{level, std::move(set), std::move(section), std::move(key)});
  return request;
}

wire::Request OverlongClient() {
  wire::Request request;
  request.client.assign(wire::kMaxLabelBytes + 1, 'c');
  return request;
}

wire::Reply Answer(CfgItemStatus::Status status, std::string value = "", std::vector<std::string> names = {},
                   std::vector<wire::KeyValue> pairs = {}) {
  wire::Reply reply;
  reply.status = status;
  reply.value = std::move(value);
  reply.names = std::move(names);
  reply.pairs = std::move(pairs);
  return reply;
}

class SeedWriter {
 public:
  explicit SeedWriter(std::string directory) : directory_(std::move(directory)) {
    mkdir(directory_.c_str(), 0755);
  }

  void Write(const std::string& name, const std::string& bytes) const {
    const std::string path = directory_ + "/" + name;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush()) Fail("cannot write " + path);
  }

 private:
  std::string directory_;
};

void WriteServerStreams(const SeedWriter& seeds) {
  const std::string binaryValue("a,b\0c\xff", 6);
  for (bool order : kBothOrders) {
    auto request = [order](const wire::Request& message) { return RequestFrame(order, message); };
    const std::string suffix = OrderSuffix(order);
    seeds.Write("get-sets" + suffix, kWholeStream + request(Ask(wire::Operation::kGetSets)));
    seeds.Write("get-sections" + suffix, kWholeStream + request(Ask(wire::Operation::kGetSections, "network")));
    seeds.Write("get-keys-and-values" + suffix,
                kWholeStream + request(Ask(wire::Operation::kGetKeysAndValues, "network", "eth0")));
    seeds.Write("get-value" + suffix, kWholeStream + request(Ask(wire::Operation::kGetValue, "network", "eth0", "mtu")));
    seeds.Write("set-value" + suffix,
                kWholeStream + request(Ask(wire::Operation::kSetValue, "network", "eth0", "mtu", binaryValue)));
    // Writes, then every kind of read of them, arriving one byte at a time.
    seeds.Write("session" + suffix,
                kByteByByte + request(Ask(wire::Operation::kSetValue, "network", "eth0", "mtu", "1500")) +
                    request(Ask(wire::Operation::kSetValue, "network", "eth0", std::string("k\0y", 3), binaryValue)) +
                    request(Ask(wire::Operation::kSetValue, "system", "time", "zone", "UTC")) +
                    request(Ask(wire::Operation::kGetSets)) + request(Ask(wire::Operation::kGetSections, "network")) +
                    request(Ask(wire::Operation::kGetKeysAndValues, "network", "eth0")) +
                    request(Ask(wire::Operation::kGetValue, "system", "time", "zone")) +
                    request(Ask(wire::Operation::kGetValue, "system", "time", "missing")));
    // Each breaks one rule: no key, a name, a label and a value one byte too long.
    seeds.Write("rejected" + suffix,
                static_cast<char>(13) + request(Ask(wire::Operation::kSetValue, "network", "eth0", "", "x")) +
                    request(Ask(wire::Operation::kGetSections, std::string(wire::kMaxNameBytes + 1, 's'))) +
                    request(OverlongClient()));
    seeds.Write("largest-value" + suffix,
                static_cast<char>(200) + request(Ask(wire::Operation::kSetValue, "s", "s", "k",
                                                     std::string(wire::kMaxValueBytes, 'v'))));
    seeds.Write("value-over-limit" + suffix,
                static_cast<char>(200) + request(Ask(wire::Operation::kSetValue, "s", "s", "k",
                                                     std::string(wire::kMaxValueBytes + 1, 'v'))));
  }
  const std::string little = RequestFrame(true, Ask(wire::Operation::kGetValue, "network", "eth0", "mtu"));
  const std::string big = RequestFrame(false, Ask(wire::Operation::kSetValue, "network", "eth0", "mtu", "9000"));
  seeds.Write("mixed-orders", static_cast<char>(7) + little + big + little);

  // Frames that do not decode are answered and the stream goes on: an
  // unknown operation, a string longer than the body, a trailing byte.
  std::string unknown = little;
  unknown[wire::kFrameHeaderBytes] = 9;
  std::string overlong = little;
  overlong[wire::kFrameHeaderBytes + 8] = 0x7f;
  std::string trailing = HandWrittenFrame(true).ULong(1).ULong(0).String("").String("").String("").String("")
                             .String("").String("").ULong(0).Frame();
  seeds.Write("undecodable", static_cast<char>(3) + unknown + overlong + trailing + little);

  // A bad header ends the stream: the frame after it is never answered.
  std::string badMagic = little;
  badMagic[0] = 'X';
  seeds.Write("bad-header", static_cast<char>(5) + little + badMagic + little);
  // A frame whose body never completes.
  seeds.Write("partial-frame", static_cast<char>(11) + little + big.substr(0, big.size() - 3));

  // Version 2: an import in three frames, then what reads and changes the
  // layers, and a subscription.
  wire::Request begin = Scoped(wire::Operation::kImportBegin, ConfigScope::Level::kSet, "network");
  begin.SetReplace(true);
  wire::Request entries = Scoped(wire::Operation::kImportEntries, ConfigScope::Level::kSet, "network");
  entries.entries = {{wire::RecordKind::kValue, "", "eth0", "mtu", "1500", ""},
                     {wire::RecordKind::kValue, "", std::string("a\0b", 3), " k=", "\xff\n", ""}};
  seeds.Write(std::string("layers") + OrderSuffix(ACE_CDR_BYTE_ORDER == 1),
              static_cast<char>(17) + NativeRequestFrame(begin) + NativeRequestFrame(entries) +
                  NativeRequestFrame(Scoped(wire::Operation::kImportCommit, ConfigScope::Level::kSet, "network")) +
                  NativeRequestFrame(Scoped(wire::Operation::kExport, ConfigScope::Level::kSet, "network")) +
                  NativeRequestFrame(Scoped(wire::Operation::kChanges, ConfigScope::Level::kAll)) +
                  NativeRequestFrame(Scoped(wire::Operation::kDelete, ConfigScope::Level::kKey, "network", "eth0", "mtu")) +
                  NativeRequestFrame(Scoped(wire::Operation::kReset, ConfigScope::Level::kSection, "network", "eth0")) +
                  NativeRequestFrame(Scoped(wire::Operation::kSubscribe, ConfigScope::Level::kSet, "network")));

  // The revision operations, after writes that make revisions: each kind of
  // question, a rollback, and a history over its bound (rejected).
  wire::Request history = Scoped(wire::Operation::kHistory, ConfigScope::Level::kKey, "network", "eth0", "mtu");
  history.count = 10;
  wire::Request page = Scoped(wire::Operation::kHistory, ConfigScope::Level::kAll);
  page.revision = 3;
  page.count = 2;
  wire::Request show = Scoped(wire::Operation::kShowRevision, ConfigScope::Level::kAll);
  show.revision = 2;
  wire::Request diff = Scoped(wire::Operation::kDiff, ConfigScope::Level::kAll);
  diff.revision = 1;
  diff.otherRevision = wire::kCurrentRevision;
  // Their next pieces, after a key (the diff to the revision the first
  // piece named).
  wire::Request showOn = Scoped(wire::Operation::kShowRevision, ConfigScope::Level::kAll, "network", "eth0", "mtu");
  showOn.revision = 2;
  wire::Request diffOn = Scoped(wire::Operation::kDiff, ConfigScope::Level::kAll, "network", "eth0", "mtu");
  diffOn.revision = 1;
  diffOn.otherRevision = 3;
  wire::Request rollback = Scoped(wire::Operation::kRollback, ConfigScope::Level::kAll);
  rollback.revision = 1;
  wire::Request tooMany = Scoped(wire::Operation::kHistory, ConfigScope::Level::kAll);
  tooMany.count = wire::kMaxRevisionsPerReply + 1;
  // Changes to be confirmed, confirmed, cancelled; a wait over its bound.
  wire::Request confirmedSet = Ask(wire::Operation::kSetValue, "network", "eth0", "mtu", "9000");
  confirmedSet.confirmSeconds = 30;
  wire::Request confirmedDelete = Scoped(wire::Operation::kDelete, ConfigScope::Level::kSection, "network", "eth0");
  confirmedDelete.confirmSeconds = 1;
  wire::Request tooLong = confirmedSet;
  tooLong.confirmSeconds = wire::kMaxConfirmSeconds + 1;
  // Watches that resume: from a revision, from now on, from one not made yet.
  wire::Request since = Scoped(wire::Operation::kWatchSince, ConfigScope::Level::kSet, "network");
  since.revision = 1;
  wire::Request fromNow = Scoped(wire::Operation::kWatchSince, ConfigScope::Level::kAll);
  fromNow.revision = wire::kCurrentRevision;
  wire::Request notYet = since;
  notYet.revision = 1000;
  seeds.Write(std::string("revisions") + OrderSuffix(ACE_CDR_BYTE_ORDER == 1),
              static_cast<char>(19) + NativeRequestFrame(Ask(wire::Operation::kSetValue, "network", "eth0", "mtu", "1500")) +
                  NativeRequestFrame(Ask(wire::Operation::kSetValue, "network", "eth0", "mtu", "9000")) +
                  NativeRequestFrame(Scoped(wire::Operation::kDelete, ConfigScope::Level::kKey, "network", "eth0", "mtu")) +
                  NativeRequestFrame(Scoped(wire::Operation::kRevision, ConfigScope::Level::kAll)) +
                  NativeRequestFrame(history) + NativeRequestFrame(page) + NativeRequestFrame(show) +
                  NativeRequestFrame(showOn) + NativeRequestFrame(diff) + NativeRequestFrame(diffOn) +
                  NativeRequestFrame(rollback) + NativeRequestFrame(tooMany));
  seeds.Write(std::string("confirmations") + OrderSuffix(ACE_CDR_BYTE_ORDER == 1),
              static_cast<char>(23) + NativeRequestFrame(confirmedSet) +
                  NativeRequestFrame(Scoped(wire::Operation::kConfirm, ConfigScope::Level::kAll)) +
                  NativeRequestFrame(confirmedDelete) +
                  NativeRequestFrame(Scoped(wire::Operation::kCancel, ConfigScope::Level::kAll)) +
                  NativeRequestFrame(Scoped(wire::Operation::kCancel, ConfigScope::Level::kAll)) +
                  NativeRequestFrame(tooLong));
  seeds.Write(std::string("watch-since") + OrderSuffix(ACE_CDR_BYTE_ORDER == 1),
              static_cast<char>(29) + NativeRequestFrame(Ask(wire::Operation::kSetValue, "network", "eth0", "mtu", "1500")) +
                  NativeRequestFrame(notYet) + NativeRequestFrame(since) +
                  NativeRequestFrame(Ask(wire::Operation::kSetValue, "network", "eth0", "mtu", "9000")) +
                  NativeRequestFrame(fromNow));

  // Writes to the set the fuzzer's schema governs: refused and accepted
  // values of one value in version 2 (whose refusals say why) and in
  // version 1, then an import previewed, and one committed with a refused
  // entry.
  wire::Request checkedBegin = Scoped(wire::Operation::kImportBegin, ConfigScope::Level::kSet, "checked");
  wire::Request checkedEntries = Scoped(wire::Operation::kImportEntries, ConfigScope::Level::kSet, "checked");
  checkedEntries.entries = {{wire::RecordKind::kValue, "", "eth0", "mtu", "1500", ""},
                            {wire::RecordKind::kValue, "", "eth1", "name", "aaab", ""},
                            {wire::RecordKind::kValue, "", "eth2", "mtu", "15OO", ""}};
  seeds.Write(std::string("checked") + OrderSuffix(ACE_CDR_BYTE_ORDER == 1),
              static_cast<char>(19) +
                  NativeRequestFrame(Ask(wire::Operation::kSetValue, "checked", "eth0", "mtu", "15OO"),
                                     wire::kProtocolVersion) +
                  NativeRequestFrame(Ask(wire::Operation::kSetValue, "checked", "eth0", "mtu", "1500"),
                                     wire::kProtocolVersion) +
                  NativeRequestFrame(Ask(wire::Operation::kSetValue, "checked", "eth0", "name", "aaaaaaaaaaaaaaac"),
                                     wire::kProtocolVersion) +
                  NativeRequestFrame(Ask(wire::Operation::kSetValue, "checked", "eth0", "mtu", "9001")) +
                  NativeRequestFrame(checkedBegin) + NativeRequestFrame(checkedEntries) +
                  NativeRequestFrame(Scoped(wire::Operation::kImportPreview, ConfigScope::Level::kSet, "checked")) +
                  NativeRequestFrame(checkedBegin) + NativeRequestFrame(checkedEntries) +
                  NativeRequestFrame(Scoped(wire::Operation::kImportCommit, ConfigScope::Level::kSet, "checked")));

  // An export whole, then in pieces: from the start, after a key, after the
  // last key (an empty piece ends it).
  const bool native = ACE_CDR_BYTE_ORDER == 1;
  auto piece = [](const std::string& section, const std::string& key) {
    wire::Request request = Scoped(wire::Operation::kExport, ConfigScope::Level::kAll, "network", section, key);
    request.SetInPieces(true);
    return NativeRequestFrame(request);
  };
  seeds.Write(std::string("export-pieces") + OrderSuffix(native),
              static_cast<char>(19) +
                  RequestFrame(native, Ask(wire::Operation::kSetValue, "network", "eth0", "mtu", "1500")) +
                  RequestFrame(native, Ask(wire::Operation::kSetValue, "network", "eth1", "mtu", "9000")) +
                  NativeRequestFrame(Scoped(wire::Operation::kExport, ConfigScope::Level::kAll, "network")) +
                  piece("", "") + piece("eth0", "mtu") + piece("eth1", "mtu"));
}

void WriteClientReplies(const SeedWriter& seeds) {
  const std::vector<std::string> sets = {"logging", "network", std::string("sys\0tem", 7)};
  const std::vector<wire::KeyValue> pairs = {{"dns", "10.0.0.1, 9.9.9.9"}, {"mtu", "1500"}, {"", ""}};
  for (bool order : kBothOrders) {
    auto reply = [order](const wire::Reply& message) { return ReplyFrame(order, message); };
    const std::string suffix = OrderSuffix(order);
    seeds.Write("written" + suffix, reply(Answer(CfgItemStatus::kSuccess)));
    seeds.Write("value" + suffix, reply(Answer(CfgItemStatus::kSuccess, "1500")));
    seeds.Write("key-not-found" + suffix, reply(Answer(CfgItemStatus::kKeyNotFound)));
    seeds.Write("names" + suffix, reply(Answer(CfgItemStatus::kSuccess, "", sets)));
    seeds.Write("pairs" + suffix, reply(Answer(CfgItemStatus::kSuccess, "", {}, pairs)));
    // One reply per round trip on a kept connection, every status.
    std::string kept;
    for (std::uint32_t status = CfgItemStatus::kSuccess; status <= CfgItemStatus::kServerError; ++status)
      kept += reply(Answer(static_cast<CfgItemStatus::Status>(status), std::string(status, 'v'), sets, pairs));
    seeds.Write("kept-connection" + suffix, kept);
  }
  seeds.Write("mixed-orders", ReplyFrame(true, Answer(CfgItemStatus::kSuccess, "", sets)) +
                                  ReplyFrame(false, Answer(CfgItemStatus::kSuccess, "", {}, pairs)));

  // Version 2: an export's records, then what a watcher receives.
  wire::Reply exported = Answer(CfgItemStatus::kSuccess);
  exported.records = {{wire::RecordKind::kValue, "network", "eth0", "mtu", "1500", ""},
                      {wire::RecordKind::kChanged, "network", "eth0", "dns", "9.9.9.9", "10.0.0.1"}};
  wire::Reply notification = Answer(CfgItemStatus::kSuccess);
  notification.kind = wire::ReplyKind::kNotification;
  notification.records = {{wire::RecordKind::kDeleted, "network", "eth0", "mtu", "", ""}};
  wire::Reply missed = Answer(CfgItemStatus::kSuccess);
  missed.kind = wire::ReplyKind::kMissed;
  missed.missed = 1024;
  seeds.Write(std::string("layers") + OrderSuffix(ACE_CDR_BYTE_ORDER == 1),
              NativeReplyFrame(exported) + NativeReplyFrame(notification) + NativeReplyFrame(missed));

  // The answers to the revision operations: the numbers alone, a history,
  // a revision shown with its keys (one added, one changed, one deleted).
  wire::Reply numbers = Answer(CfgItemStatus::kSuccess);
  numbers.kind = wire::ReplyKind::kRevisions;
  numbers.revision = 0x100000002u;
  numbers.oldestKept = 3;
  wire::Reply listed = numbers;
  RevisionEntry entry;
  entry.number = 4;
  entry.time = 1765000000;
  entry.author = ChangeAuthor{1000, "alice", 4242, "cfgctl", "cfgctl", "nightly"};
  entry.summary = "set network eth0 mtu";
  entry.keys = 1;
  listed.revisions = {entry, RevisionEntry()};
  wire::Reply shown = numbers;
  shown.revisions = {entry};
  shown.records = {wire::RecordOf({"network", "eth0", "vlan", std::nullopt, std::string("7")}),
                   wire::RecordOf({"network", "eth0", "mtu", std::string("1500"), std::string("9000")}),
                   wire::RecordOf({"network", "eth0", "gateway", std::string("10.0.0.1"), std::nullopt})};
  // A rollback's answer: the revision it made, with how many keys.
  wire::Reply rolledBack = numbers;
  RevisionEntry made;
  made.number = 5;
  made.keys = 2;
  rolledBack.revisions = {made};
  // What a watch that resumes receives: changes with their revisions.
  wire::Reply change = Answer(CfgItemStatus::kSuccess);
  change.kind = wire::ReplyKind::kChange;
  change.revision = 7;
  change.records = {{wire::RecordKind::kValue, "network", "eth0", "mtu", "9000", ""}};
  wire::Reply deletion = change;
  deletion.revision = 8;
  deletion.records = {{wire::RecordKind::kDeleted, "network", "eth0", "mtu", "", ""}};
  seeds.Write(std::string("revisions") + OrderSuffix(ACE_CDR_BYTE_ORDER == 1),
              NativeReplyFrame(numbers) + NativeReplyFrame(listed) + NativeReplyFrame(shown) +
                  NativeReplyFrame(rolledBack) + NativeReplyFrame(change) + NativeReplyFrame(deletion));

  // A refusal with its reason, and an import's preview.
  wire::Reply refused = Answer(CfgItemStatus::kRejected);
  refused.reason = "[eth1] mode: dhpc is not one of dhcp|static|off\n[eth2] mtu: 15OO is not an integer in 68..9000";
  wire::Reply preview = Answer(CfgItemStatus::kSuccess);
  preview.records = {{wire::RecordKind::kAdded, "network", "eth2", "mode", "dhcp", ""},
                     {wire::RecordKind::kDeleted, "network", "eth0", "mtu", "", "1500"}};
  seeds.Write(std::string("checked") + OrderSuffix(ACE_CDR_BYTE_ORDER == 1),
              NativeReplyFrame(refused) + NativeReplyFrame(preview));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIRECTORY   (e.g. fuzz/corpus)\n", argv[0]);
    return 2;
  }
  const std::string root = argv[1];
  mkdir(root.c_str(), 0755);
  WriteServerStreams(SeedWriter(root + "/server_stream"));
  WriteClientReplies(SeedWriter(root + "/client_reply"));
  return 0;
}
