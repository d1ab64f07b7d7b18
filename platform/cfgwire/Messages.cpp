#include "Messages.h"

#include <ace/CDR_Stream.h>

#include "AlignedInput.h"
#include "Limits.h"

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
  text->assign(size, '\0');
  return size == 0 || in.read_octet_array(reinterpret_cast<ACE_CDR::Octet*>(&(*text)[0]), size);
}

bool ReadCount(ACE_InputCDR& in, std::size_t elementBytes, ACE_CDR::ULong* count) {
  return in.read_ulong(*count) && *count <= in.length() / elementBytes;
}

LxStatus Finish(const ACE_OutputCDR& out, std::string* frame) {
  if (!out.good_bit()) return LxStatus::IoError("could not encode the message");
  // The encoder owns its buffer; a message block chain is flattened here.
  std::string body;
  body.reserve(out.total_length());
  for (const ACE_Message_Block* block = out.begin(); block != nullptr; block = block->cont())
    body.append(block->rd_ptr(), block->length());
  return BuildFrame(body.data(), body.size(), frame);
}

LxStatus CheckFullyRead(ACE_InputCDR& in, const char* what) {
  if (!in.good_bit()) return LxStatus::Corruption(std::string("truncated ") + what);
  if (in.length() != 0) return LxStatus::Corruption(std::string("trailing bytes after ") + what);
  return LxStatus::Ok();
}

bool IsKnownOperation(ACE_CDR::ULong value) {
  return value >= static_cast<ACE_CDR::ULong>(Operation::kGetSets) &&
         value <= static_cast<ACE_CDR::ULong>(Operation::kSetValue);
}

bool IsKnownStatus(ACE_CDR::ULong value) { return value <= CfgItemStatus::kServerError; }

}  // namespace

LxStatus EncodeRequestFrame(const Request& request, std::string* frame) {
  ACE_OutputCDR out;
  WriteULong(out, static_cast<ACE_CDR::ULong>(request.operation));
  WriteULong(out, request.command);
  for (const std::string* field :
       {&request.client, &request.tag, &request.set, &request.section, &request.key, &request.value})
    WriteString(out, *field);
  return Finish(out, frame);
}

LxStatus EncodeReplyFrame(const Reply& reply, std::string* frame) {
  ACE_OutputCDR out;
  WriteULong(out, reply.status);
  WriteString(out, reply.value);
  WriteULong(out, static_cast<ACE_CDR::ULong>(reply.names.size()));
  for (const std::string& name : reply.names) WriteString(out, name);
  WriteULong(out, static_cast<ACE_CDR::ULong>(reply.pairs.size()));
  for (const KeyValue& pair : reply.pairs) {
    WriteString(out, pair.key);
    WriteString(out, pair.value);
  }
  return Finish(out, frame);
}

LxStatus DecodeRequestBody(const FrameHeader& header, const std::string& body, Request* request) {
  AlignedInput input(body.data(), body.size(), header.littleEndian);
  ACE_InputCDR& in = input.cdr();
  ACE_CDR::ULong operation = 0;
  ACE_CDR::ULong command = 0;
  if (!in.read_ulong(operation) || !in.read_ulong(command)) return LxStatus::Corruption("truncated request");
  if (!IsKnownOperation(operation)) return LxStatus::InvalidArgument("unknown operation " + std::to_string(operation));
  request->operation = static_cast<Operation>(operation);
  request->command = command;
  for (std::string* field :
       {&request->client, &request->tag, &request->set, &request->section, &request->key, &request->value})
    if (!ReadString(in, field)) return LxStatus::Corruption("truncated request");
  return CheckFullyRead(in, "request");
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
  return CheckFullyRead(in, "reply");
}

const char* OperationName(Operation operation) {
  switch (operation) {
    case Operation::kGetSets: return "get-sets";
    case Operation::kGetSections: return "get-sections";
    case Operation::kGetKeysAndValues: return "get-keys-and-values";
    case Operation::kGetValue: return "get-value";
    case Operation::kSetValue: return "set-value";
  }
  return "unknown";
}

}  // namespace wire
}  // namespace qet_cfgserver
