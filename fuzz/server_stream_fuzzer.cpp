// Byte streams from a hostile or broken client, through what the server does
// with them: the frame assembler (as ClientConnection feeds it, read by read,
// until a bad frame closes the connection), request decoding and the
// dispatcher over a real store.
//
// Input: the first byte says how the rest arrives (see ReadSizes), the rest
// is the stream. Properties checked besides the sanitizers':
//   - whatever the reads, the frames are the stream's successive pieces;
//   - every answer is one valid reply frame, never a server error from a
//     healthy store, and kRejected exactly for what does not decode,
//     breaks a limit or a schema refuses (with that refusal's reason in a
//     version 2 reply);
//   - the request decoder reads each byte once: a decoded request encodes
//     back to a body of the same size;
//   - an acknowledged write reads back.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cfgwire/Limits.h"
#include "cfgwire/Messages.h"
#include "cfgwire/RequestLimits.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/ScratchStore.h"
#include "requests/RequestDispatcher.h"
#include "schema/Schema.h"

namespace quenlo_fuzz {
namespace {

using namespace qet_cfgserver;

// The sizes of successive reads from a socket, from one byte of input:
// 0 gives one byte per read, 255 the whole stream in one read, anything
// else a repeatable sequence of reads between 1 and that many bytes, so that
// frame and header boundaries fall anywhere within a read.
class ReadSizes {
 public:
  explicit ReadSizes(std::uint8_t pattern) : pattern_(pattern), state_(pattern) {}

  std::size_t Next(std::size_t left) {
    if (pattern_ == kWholeStream) return left;
    state_ = state_ * 1103515245u + 12345u;
    const std::size_t size = 1 + (state_ >> 16) % (pattern_ + 1u);
    return size < left ? size : left;
  }

 private:
  static constexpr std::uint8_t kWholeStream = 255;

  const std::uint8_t pattern_;
  std::uint32_t state_;
};

struct ReceivedFrame {
  wire::FrameHeader header;
  std::string body;
};

// What an assembler made of a stream: its frames, and how it ended.
struct Assembly {
  std::vector<ReceivedFrame> frames;
  bool badFrame = false;
  std::size_t leftOver = 0;  // bytes buffered after the last frame, unless badFrame
};

// Takes the frames an assembler holds, as ClientConnection::AnswerFrames does.
void TakeFrames(wire::FrameAssembler* assembler, Assembly* assembly) {
  for (;;) {
    ReceivedFrame frame;
    LxStatus error;
    const wire::FrameAssembler::Result result = assembler->Next(&frame.header, &frame.body, &error);
    if (result == wire::FrameAssembler::Result::kIncomplete) break;
    if (result == wire::FrameAssembler::Result::kBadFrame) {
      Require(!error.ok(), "a bad frame comes with a reason");
      assembly->badFrame = true;
      return;
    }
    Require(frame.body.size() == frame.header.bodyBytes, "a frame's body has the announced size");
    assembly->frames.push_back(std::move(frame));
  }
  assembly->leftOver = assembler->BufferedBytes();
}

Assembly Assemble(const char* stream, std::size_t size, ReadSizes sizes) {
  wire::FrameAssembler assembler(wire::kMaxRequestBodyBytes);
  Assembly assembly;
  std::size_t offset = 0;
  while (offset < size && !assembly.badFrame) {
    const std::size_t read = sizes.Next(size - offset);
    assembler.Append(stream + offset, read);
    offset += read;
    TakeFrames(&assembler, &assembly);
  }
  return assembly;
}

// However the stream was cut into reads, the frames are its successive
// pieces, and what stays buffered is the rest.
void CheckCutsStream(const Assembly& assembly, const char* stream, std::size_t size) {
  std::size_t offset = 0;
  for (const ReceivedFrame& frame : assembly.frames) {
    const char* header = stream + offset;
    const std::size_t frameBytes = wire::kFrameHeaderBytes + frame.body.size();
    Require(offset + frameBytes <= size, "a frame lies within the stream");
    Require(frame.header.littleEndian == (header[3] == 1) &&
                frame.body.compare(0, std::string::npos, header + wire::kFrameHeaderBytes, frame.body.size()) == 0,
            "a frame is the stream's next piece");
    offset += frameBytes;
  }
  Require(assembly.badFrame || assembly.leftOver == size - offset, "what follows the last frame stays buffered");
}

wire::Reply DecodeAnswer(const std::string& answer) {
  Require(answer.size() >= wire::kFrameHeaderBytes, "an answer holds a frame header");
  wire::FrameHeader header;
  Require(wire::DecodeFrameHeader(answer.data(), &header).ok(), "an answer's frame header decodes");
  Require(header.bodyBytes == answer.size() - wire::kFrameHeaderBytes, "an answer is exactly one frame");
  wire::Reply reply;
  Require(wire::DecodeReplyBody(header, answer.substr(wire::kFrameHeaderBytes), &reply).ok(), "an answer decodes");
  return reply;
}

// The schema of set "checked", which the seeds write to: a range, and a
// pattern whose matching cost fuzzed values try to blow up.
const SchemaSet& Schemas() {
  static const SchemaSet* schemas = [] {
    Schema schema;
    Require(Schema::Parse("[*]\nmtu = integer 68..9000\nname = pattern (a|aa)+b\n", "checked.schema", &schema).ok(),
            "the fuzzers' schema reads");
    SchemaSet* set = new SchemaSet;
    Require(set->Add(std::move(schema)).ok(), "the fuzzers' schema is added");
    return set;
  }();
  return *schemas;
}

void CheckReadBack(RequestDispatcher* dispatcher, const wire::Request& write) {
  wire::Request read = write;
  read.operation = wire::Operation::kGetValue;
  read.value.clear();
  read.confirmSeconds = 0;  // a read awaits no confirmation
  const wire::Reply reply = dispatcher->Dispatch(read);
  Require(reply.status == CfgItemStatus::kSuccess, "an acknowledged write is found");
  Require(reply.value == write.value, "an acknowledged write reads back unchanged");
}

void Answer(const ReceivedFrame& frame, RequestDispatcher* dispatcher, ClientSession* session, ScratchStore* scratch) {
  std::string answer;
  Require(dispatcher->AnswerFrame(frame.header, frame.body, &answer, session),
          "without a group commit every request is answered at once");
  const wire::Reply reply = DecodeAnswer(answer);
  Require(reply.status != CfgItemStatus::kServerError, "a healthy store answers without a server error");
  scratch->Wrote(frame.body.size());  // imports, deletes and resets write too

  wire::Request request;
  if (!wire::DecodeRequestBody(frame.header, frame.body, &request).ok()) {
    Require(reply.status == CfgItemStatus::kRejected, "a request that does not decode is rejected");
    return;
  }
  std::string encoded;
  Require(wire::EncodeRequestFrame(request, &encoded, frame.header.version).ok(), "a decoded request encodes");
  Require(encoded.size() == wire::kFrameHeaderBytes + frame.body.size(), "a decoded request used its whole body");
  // The session operations of version 2 may also be rejected for the
  // connection's state (a commit without a begin, a second subscription).
  if (request.operation > wire::kLastVersion1Operation) return;
  const bool withinLimits = wire::CheckRequestLimits(request).ok();
  std::string refusal;
  const bool admitted = request.operation != wire::Operation::kSetValue || !withinLimits ||
                        Schemas().Check(request.set, request.section, request.key, request.value, &refusal);
  Require((reply.status == CfgItemStatus::kRejected) != (withinLimits && admitted),
          "rejected exactly when over a limit or refused by a schema");
  const bool saysWhy = !admitted && frame.header.version > wire::kFirstProtocolVersion;
  Require(reply.reason == (saysWhy ? refusal.substr(0, wire::kMaxReasonBytes) : ""), "a refusal says why in version 2");
  if (request.operation == wire::Operation::kSetValue && withinLimits && admitted) CheckReadBack(dispatcher, request);
}

}  // namespace
}  // namespace quenlo_fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quenlo_fuzz;
  if (size == 0) return 0;
  const char* stream = reinterpret_cast<const char*>(data) + 1;
  const std::size_t streamBytes = size - 1;

  const Assembly assembly = Assemble(stream, streamBytes, ReadSizes(data[0]));
  CheckCutsStream(assembly, stream, streamBytes);

  ScratchStore& scratch = ScratchStore::Instance();
  scratch.RenewWhenSpent();
  // One stream is one connection: its imports and subscription live as long.
  qet_cfgserver::ChangeFeed feed;
  qet_cfgserver::RequestDispatcher dispatcher(scratch.keeper(), &feed, nullptr, nullptr, &Schemas());
  qet_cfgserver::ClientSession session(nullptr);
  for (const ReceivedFrame& frame : assembly.frames) Answer(frame, &dispatcher, &session, &scratch);
  return 0;
}
