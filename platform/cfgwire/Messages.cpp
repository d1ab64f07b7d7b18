#include "cfgwire/Messages.h"

#include <algorithm>

#include <ace/CDR_Stream.h>

#include "cfgwire/AlignedInput.h"
#include "cfgwire/Limits.h"
#include "cfgwire/MessageDecoder.h"
#include "cfgwire/MessageEncoder.h"

namespace qet_cfgserver {
namespace wire {

namespace {

// Every string and every pair takes at least one ulong on the wire; a count
// larger than the bytes left could hold is a lie, not a reason to allocate.
constexpr std::size_t kMinimumElementBytes = 4;

// CDR skips the padding before an aligned field without writing it, which
// would send stale heap bytes to the peer; the padding is written as zeros
// here instead. The body starts aligned, so its length gives the alignment.
void WriteULong(ACE_OutputCDR& out, ACE_CDR::ULong value) {
  static const ACE_CDR::Octet kZeros[ACE_CDR::LONG_SIZE] = {};
  const std::size_t misalignment = out.total_length() % ACE_CDR::LONG_SIZE;
  if (misalignment != 0) out.write_octet_array(kZeros, ACE_CDR::LONG_SIZE - misalignment);
  out.write_ulong(value);
}

void WriteString(ACE_OutputCDR& out, const std::string& text) {
  WriteULong(out, static_cast<ACE_CDR::ULong>(text.size()));
  out.write_octet_array(reinterpret_cast<const ACE_CDR::Octet*>(text.data()), text.size());
}

bool ReadString(ACE_InputCDR& in, std::string* text) {
  ACE_CDR::ULong size = 0;
  if (!in.read_ulong(size) || size > in.length()) return false;
  // Octets need no alignment: copied straight from where the reader stands.
  text->assign(in.rd_ptr(), size);
  return in.skip_bytes(size);
}

bool ReadCount(ACE_InputCDR& in, std::size_t elementBytes, ACE_CDR::ULong* count) {
  return in.read_ulong(*count) && *count <= in.length() / elementBytes;
}

LxStatus Finish(const ACE_OutputCDR& out, std::string* frame, std::uint8_t version) {
  if (!out.good_bit()) return LxStatus::IoError("could not encode the message");
  // The encoder owns its buffer; its message block chain is flattened
  // straight behind the header.
  frame->clear();
  frame->reserve(kFrameHeaderBytes + out.total_length());
  LxStatus status = AppendFrameHeader(out.total_length(), version, frame);
  if (!status.ok()) return status;
  for (const ACE_Message_Block* block = out.begin(); block != nullptr; block = block->cont())
    frame->append(block->rd_ptr(), block->length());
  return status;
}

LxStatus CheckFullyRead(ACE_InputCDR& in, const char* what) {
  if (!in.good_bit()) return LxStatus::Corruption(std::string("truncated ") + what);
  if (in.length() != 0) return LxStatus::Corruption(std::string("trailing bytes after ") + what);
  return LxStatus::Ok();
}

bool IsKnownOperation(ACE_CDR::ULong value, std::uint8_t version) {
  const Operation last = version == kFirstProtocolVersion ? kLastVersion1Operation : kLastOperation;
  return value >= static_cast<ACE_CDR::ULong>(Operation::kGetSets) && value <= static_cast<ACE_CDR::ULong>(last);
}

bool IsKnownStatus(ACE_CDR::ULong value) { return value <= CfgItemStatus::kLastStatus; }

void WriteRecords(ACE_OutputCDR& out, const std::vector<Record>& records) {
  WriteULong(out, static_cast<ACE_CDR::ULong>(records.size()));
  for (const Record& record : records) {
    WriteULong(out, static_cast<ACE_CDR::ULong>(record.kind));
    for (const std::string* field : {&record.set, &record.section, &record.key, &record.value, &record.defaultValue})
      WriteString(out, *field);
  }
}

// Five strings and a kind: six ulongs at least.
constexpr std::size_t kMinimumRecordBytes = 6 * kMinimumElementBytes;

bool ReadRecords(ACE_InputCDR& in, std::vector<Record>* records) {
  ACE_CDR::ULong count = 0;
  if (!ReadCount(in, kMinimumRecordBytes, &count)) return false;
  records->resize(count);
  for (Record& record : *records) {
    ACE_CDR::ULong kind = 0;
    if (!in.read_ulong(kind) || kind > static_cast<ACE_CDR::ULong>(RecordKind::kDeleted)) return false;
    record.kind = static_cast<RecordKind>(kind);
    for (std::string* field : {&record.set, &record.section, &record.key, &record.value, &record.defaultValue})
      if (!ReadString(in, field)) return false;
  }
  return true;
}

// 64-bit numbers go as two ulongs, high half first: CDR would align a
// ulonglong to eight bytes, which the zeroed padding above does not cover.
constexpr unsigned kHalfBits = 32;
constexpr std::uint64_t kLowHalf = 0xffffffffu;

void WriteNumber(ACE_OutputCDR& out, std::uint64_t number) {
  WriteULong(out, static_cast<ACE_CDR::ULong>(number >> kHalfBits));
  WriteULong(out, static_cast<ACE_CDR::ULong>(number & kLowHalf));
}

bool ReadNumber(ACE_InputCDR& in, std::uint64_t* number) {
  ACE_CDR::ULong high = 0, low = 0;
  if (!in.read_ulong(high) || !in.read_ulong(low)) return false;
  *number = static_cast<std::uint64_t>(high) << kHalfBits | low;
  return true;
}

void WriteRevisionEntries(ACE_OutputCDR& out, const std::vector<RevisionEntry>& entries) {
  WriteULong(out, static_cast<ACE_CDR::ULong>(entries.size()));
  for (const RevisionEntry& entry : entries) {
    WriteNumber(out, entry.number);
    WriteNumber(out, static_cast<std::uint64_t>(entry.time));
    WriteULong(out, entry.author.uid);
    WriteULong(out, entry.author.pid);
    for (const std::string* field : {&entry.author.userName, &entry.author.program, &entry.author.client,
                                     &entry.author.tag, &entry.summary})
      WriteString(out, *field);
    WriteULong(out, entry.keys);
  }
}

// Two numbers, two ulongs, five strings and a ulong: twelve ulongs at least.
constexpr std::size_t kMinimumRevisionEntryBytes = 12 * kMinimumElementBytes;

bool ReadRevisionEntries(ACE_InputCDR& in, std::vector<RevisionEntry>* entries) {
  ACE_CDR::ULong count = 0;
  if (!ReadCount(in, kMinimumRevisionEntryBytes, &count)) return false;
  entries->resize(count);
  for (RevisionEntry& entry : *entries) {
    std::uint64_t time = 0;
    ACE_CDR::ULong uid = 0, pid = 0, keys = 0;
    if (!ReadNumber(in, &entry.number) || !ReadNumber(in, &time) || !in.read_ulong(uid) || !in.read_ulong(pid))
      return false;
    for (std::string* field : {&entry.author.userName, &entry.author.program, &entry.author.client,
                               &entry.author.tag, &entry.summary})
      if (!ReadString(in, field)) return false;
    if (!in.read_ulong(keys)) return false;
    entry.time = static_cast<std::int64_t>(time);
    entry.author.uid = uid;
    entry.author.pid = pid;
    entry.keys = keys;
  }
  return true;
}

bool CarriesRevisionFields(Operation operation) { return operation >= kFirstRevisionOperation; }

bool CarriesRevisionTail(ReplyKind kind) { return kind == ReplyKind::kRevisions || kind == ReplyKind::kChange; }

// The older operations whose version-2 request may end with the revision
// fields: a change to be confirmed.
bool MayBeConfirmed(Operation operation) {
  return operation == Operation::kSetValue || operation == Operation::kDelete || operation == Operation::kReset ||
         operation == Operation::kImportCommit;
}

void WriteRevisionFields(ACE_OutputCDR& out, const Request& request) {
  WriteNumber(out, request.revision);
  WriteNumber(out, request.otherRevision);
  WriteULong(out, request.count);
  WriteULong(out, request.confirmSeconds);
}

bool ReadRevisionFields(ACE_InputCDR& in, Request* request) {
  return ReadNumber(in, &request->revision) && ReadNumber(in, &request->otherRevision) &&
         in.read_ulong(request->count) && in.read_ulong(request->confirmSeconds);
}

// A request body from in, under header; *argument is the ulong Request keeps
// to itself.
LxStatus ReadRequest(const FrameHeader& header, ACE_InputCDR& in, Request* request, std::uint32_t* argument) {
  ACE_CDR::ULong operation = 0;
  if (!in.read_ulong(operation) || !in.read_ulong(*argument)) return LxStatus::Corruption("truncated request");
  if (!IsKnownOperation(operation, header.version)) return LxStatus::InvalidArgument("unknown operation " + std::to_string(operation));
  request->operation = static_cast<Operation>(operation);
  for (std::string* field :
       {&request->client, &request->tag, &request->set, &request->section, &request->key, &request->value})
    if (!ReadString(in, field)) return LxStatus::Corruption("truncated request");
  if (header.version > kFirstProtocolVersion && !ReadRecords(in, &request->entries))
    return LxStatus::Corruption("bad entries in request");
  const bool confirmed = header.version > kFirstProtocolVersion && MayBeConfirmed(request->operation) &&
                         in.length() != 0;
  if ((CarriesRevisionFields(request->operation) || confirmed) && !ReadRevisionFields(in, request))
    return LxStatus::Corruption("truncated request");
  // Only a wait makes an older operation carry the revision fields: without
  // one, they are bytes no encoder writes.
  if (confirmed && request->confirmSeconds == 0) return LxStatus::Corruption("revision fields without a wait");
  return CheckFullyRead(in, "request");
}

}  // namespace

Record RecordOf(const KeyChange& change) {
  Record record;
  record.kind = !change.before ? RecordKind::kAdded : !change.after ? RecordKind::kDeleted : RecordKind::kChanged;
  record.set = change.set;
  record.section = change.section;
  record.key = change.key;
  record.value = change.after.value_or("");
  record.defaultValue = change.before.value_or("");
  return record;
}

KeyChange KeyChangeOf(const Record& record) {
  KeyChange change{record.set, record.section, record.key, record.defaultValue, record.value};
  if (record.kind == RecordKind::kAdded) change.before.reset();
  if (record.kind == RecordKind::kDeleted) change.after.reset();
  return change;
}

void Request::SetScope(const ConfigScope& scope) {
  argument_ = static_cast<std::uint32_t>(scope.level);
  set = scope.set;
  section = scope.section;
  key = scope.key;
}

LxStatus EncodeRequestFrame(const Request& request, std::string* frame, std::uint8_t atLeastVersion) {
  MessageEncoder encoder;
  ACE_OutputCDR& out = encoder.Reset();
  WriteULong(out, static_cast<ACE_CDR::ULong>(request.operation));
  WriteULong(out, request.argument_);
  for (const std::string* field :
       {&request.client, &request.tag, &request.set, &request.section, &request.key, &request.value})
    WriteString(out, *field);
  const bool confirmed = MayBeConfirmed(request.operation) && request.confirmSeconds != 0;
  const std::uint8_t version =
      std::max(confirmed ? kProtocolVersion : VersionFor(request.operation), atLeastVersion);
  if (version > kFirstProtocolVersion) WriteRecords(out, request.entries);
  if (CarriesRevisionFields(request.operation) || confirmed) WriteRevisionFields(out, request);
  return Finish(out, frame, version);
}

std::uint8_t VersionFor(Operation operation) {
  return operation <= kLastVersion1Operation ? kFirstProtocolVersion : kProtocolVersion;
}

std::size_t RecordWireBytes(const Record& record) {
  std::size_t bytes = kMinimumElementBytes;
  for (const std::string* field : {&record.set, &record.section, &record.key, &record.value, &record.defaultValue})
    bytes += layout::PaddedStringBytes(field->size());
  return bytes;
}

LxStatus EncodeReplyFrame(const Reply& reply, std::string* frame, std::uint8_t version) {
  MessageEncoder encoder;
  return EncodeReplyFrame(reply, frame, version, &encoder);
}

LxStatus EncodeReplyFrame(const Reply& reply, std::string* frame, std::uint8_t version, MessageEncoder* encoder) {
  ACE_OutputCDR& out = encoder->Reset();
  WriteULong(out, reply.status);
  WriteString(out, reply.value);
  WriteULong(out, static_cast<ACE_CDR::ULong>(reply.names.size()));
  for (const std::string& name : reply.names) WriteString(out, name);
  WriteULong(out, static_cast<ACE_CDR::ULong>(reply.pairs.size()));
  for (const KeyValue& pair : reply.pairs) {
    WriteString(out, pair.key);
    WriteString(out, pair.value);
  }
  if (version > kFirstProtocolVersion) {
    WriteULong(out, static_cast<ACE_CDR::ULong>(reply.kind));
    WriteULong(out, reply.missed);
    WriteRecords(out, reply.records);
    if (CarriesRevisionTail(reply.kind)) {
      WriteNumber(out, reply.revision);
      WriteNumber(out, reply.oldestKept);
      WriteRevisionEntries(out, reply.revisions);
    }
    if (!reply.reason.empty()) WriteString(out, reply.reason.substr(0, kMaxReasonBytes));
  }
  return Finish(out, frame, version);
}

LxStatus DecodeRequestBody(const FrameHeader& header, const std::string& body, Request* request) {
  AlignedInput input(body.data(), body.size(), header.littleEndian);
  return ReadRequest(header, input.cdr(), request, &request->argument_);
}

LxStatus DecodeRequestBody(const FrameHeader& header, const std::string& body, Request* request,
                           MessageDecoder* decoder) {
  ACE_InputCDR* in = decoder->Reset(body.data(), body.size(), header.littleEndian);
  if (in == nullptr) return LxStatus::IoError("no memory to decode a request");
  return ReadRequest(header, *in, request, &request->argument_);
}

LxStatus DecodeReplyBody(const FrameHeader& header, const std::string& body, Reply* reply) {
  AlignedInput input(body.data(), body.size(), header.littleEndian);
  ACE_InputCDR& in = input.cdr();
  ACE_CDR::ULong status = 0;
  if (!in.read_ulong(status) || !ReadString(in, &reply->value)) return LxStatus::Corruption("truncated reply");
  if (!IsKnownStatus(status)) return LxStatus::InvalidArgument("unknown status " + std::to_string(status));
  reply->status = static_cast<CfgItemStatus::Status>(status);

  ACE_CDR::ULong count = 0;
  if (!ReadCount(in, kMinimumElementBytes, &count)) return LxStatus::Corruption("bad name count in reply");
  reply->names.resize(count);
  for (std::string& name : reply->names)
    if (!ReadString(in, &name)) return LxStatus::Corruption("truncated reply");

  if (!ReadCount(in, 2 * kMinimumElementBytes, &count)) return LxStatus::Corruption("bad pair count in reply");
  reply->pairs.resize(count);
  for (KeyValue& pair : reply->pairs)
    if (!ReadString(in, &pair.key) || !ReadString(in, &pair.value)) return LxStatus::Corruption("truncated reply");
  if (header.version > kFirstProtocolVersion) {
    ACE_CDR::ULong kind = 0;
    if (!in.read_ulong(kind) || kind > static_cast<ACE_CDR::ULong>(ReplyKind::kChange) ||
        !in.read_ulong(reply->missed) || !ReadRecords(in, &reply->records))
      return LxStatus::Corruption("bad records in reply");
    reply->kind = static_cast<ReplyKind>(kind);
    if (CarriesRevisionTail(reply->kind) &&
        (!ReadNumber(in, &reply->revision) || !ReadNumber(in, &reply->oldestKept) ||
         !ReadRevisionEntries(in, &reply->revisions)))
      return LxStatus::Corruption("bad revisions in reply");
    // Present only when there is one: an empty reason is no encoder's.
    if (in.length() > 0 && (!ReadString(in, &reply->reason) || reply->reason.empty() ||
                            reply->reason.size() > kMaxReasonBytes))
      return LxStatus::Corruption("bad reason in reply");
  }
  return CheckFullyRead(in, "reply");
}

bool PeekRequest(const FrameHeader& header, const std::string& body, std::uint32_t* operation,
                 std::uint32_t* argument) {
  // Both are ulongs at the start of the body, where CDR puts no padding.
  if (body.size() < 2 * layout::kULongBytes) return false;
  const auto ulongAt = [&](std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t index = 0; index < layout::kULongBytes; ++index) {
      const std::uint32_t byte = static_cast<unsigned char>(body[offset + index]);
      value |= byte << (header.littleEndian ? 8 * index : 8 * (layout::kULongBytes - 1 - index));
    }
    return value;
  };
  *operation = ulongAt(0);
  *argument = ulongAt(layout::kULongBytes);
  return true;
}

const char* OperationName(Operation operation) {
  switch (operation) {
    case Operation::kGetSets: return "get-sets";
    case Operation::kGetSections: return "get-sections";
    case Operation::kGetKeysAndValues: return "get-keys-and-values";
    case Operation::kGetValue: return "get-value";
    case Operation::kSetValue: return "set-value";
    case Operation::kDelete: return "delete";
    case Operation::kImportBegin: return "import-begin";
    case Operation::kImportEntries: return "import-entries";
    case Operation::kImportCommit: return "import-commit";
    case Operation::kExport: return "export";
    case Operation::kChanges: return "changes";
    case Operation::kReset: return "reset";
    case Operation::kSubscribe: return "subscribe";
    case Operation::kRevision: return "revision";
    case Operation::kHistory: return "history";
    case Operation::kShowRevision: return "show-revision";
    case Operation::kDiff: return "diff";
    case Operation::kRollback: return "rollback";
    case Operation::kConfirm: return "confirm";
    case Operation::kCancel: return "cancel";
    case Operation::kWatchSince: return "watch-since";
    case Operation::kImportPreview: return "import-preview";
  }
  return "unknown";
}

}  // namespace wire
}  // namespace qet_cfgserver
