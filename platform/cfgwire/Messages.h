#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cfgwire/CfgItemStatus.h"
#include "cfgwire/Frame.h"
#include "cfgwire/Limits.h"
#include "common/ConfigTypes.h"
#include "common/LxStatus.h"
#include "common/RevisionTypes.h"

namespace qet_cfgserver {
namespace wire {

class MessageDecoder;
class MessageEncoder;

// What a client asks. Every request carries every field (unused ones empty),
// which keeps one encoder and one decoder for all operations. The numeric
// values travel on the wire and must never be renumbered.
enum class Operation : std::uint32_t {
  kGetSets = 1,
  kGetSections = 2,
  kGetKeysAndValues = 3,
  kGetValue = 4,
  kSetValue = 5,
  // Version 2 only.
  kDelete = 6,         // scope: a key, a section or a set
  kImportBegin = 7,    // set; starts staging entries on this connection
  kImportEntries = 8,  // entries: staged (section, key, value)
  kImportCommit = 9,   // applies what was staged in one transaction
  kExport = 10,        // set: records of every key in section, key order
  kChanges = 11,       // scope: records of what differs from the defaults
  kReset = 12,         // scope: back to the defaults
  kSubscribe = 13,     // scope: this connection then receives notifications
  kImportPreview = 14,  // ends an import as kImportCommit would, writing nothing:
                        // the schemas' verdict and records of the keys that would change
  // Revisions and history (see Request's revision fields and Reply's
  // revision tail; every answer is of kind kRevisions).
  kRevision = 15,      // the current revision and the oldest kept
  kHistory = 16,       // scope, count, revision: kept revisions before revision (0: all), newest first
  kShowRevision = 17,  // revision: it and a piece of its keys (see kExportPieceBytes)
  kDiff = 18,          // revision, otherRevision: a piece of what differs between them
  kRollback = 19,      // revision: every key changed since returns to its value then
  kConfirm = 20,       // the change awaiting confirmation stays
  kCancel = 21,        // the change awaiting confirmation is rolled back now
  kWatchSince = 22,    // scope, revision: every change after revision, then each as committed
};

// The last operation of each version.
constexpr Operation kLastVersion1Operation = Operation::kSetValue;
constexpr Operation kLastOperation = Operation::kWatchSince;
// The first operation whose request carries revision fields.
constexpr Operation kFirstRevisionOperation = Operation::kRevision;

// kExport with this argument asks for one piece of the set: the records
// after the request's (section, key), both empty for the first, in order,
// as many as weigh kExportPieceBytes on the wire (at least one); a piece
// without records ends the set. No answer to an export then outgrows a
// piece, whatever the set, and a client that does not read its answer
// holds no more than that. Argument 0 asks for the whole set in one reply.
constexpr std::uint32_t kExportPieceArgument = 1;
constexpr std::size_t kExportPieceBytes = 64 * 1024;
// kShowRevision and kDiff always answer so, whatever their argument: the
// keys after the request's (set, section, key), all three empty for the
// first piece, in (set, section, key) order, as many as weigh
// kExportPieceBytes (at least one); a piece without records ends the
// answer. A diff to kCurrentRevision answers with the revision that was
// current, which the later pieces name as otherRevision instead.

// The version a request of operation must be sent in (a change to be
// confirmed goes in version 2 whatever its operation).
std::uint8_t VersionFor(Operation operation);

// One key in an export, an import, a list of changes or a notification.
// In the answers of the revision operations a record is a key a revision
// changed (or that differs between two): value is its value after,
// defaultValue its value before; kAdded had none before, kDeleted has none
// after, kChanged both.
enum class RecordKind : std::uint32_t {
  kValue = 0,    // a key with its value (export, import, a notification of a write)
  kAdded = 1,    // changes: a key without a default
  kChanged = 2,  // changes: value differs from defaultValue
  kDeleted = 3,  // changes: a hidden default; notification: the key went away
};

struct Record {
  RecordKind kind = RecordKind::kValue;
  std::string set, section, key, value, defaultValue;
};

// A key change as a record of the revision operations, and back.
Record RecordOf(const KeyChange& change);
KeyChange KeyChangeOf(const Record& record);

// What a reply frame of version 2 is: the answer to a request, or pushed to
// a subscribed connection.
enum class ReplyKind : std::uint32_t {
  kAnswer = 0,
  kNotification = 1,  // records: one changed key
  kMissed = 2,        // missed: how many notifications were dropped
  kRevisions = 3,     // the answer to a revision operation, with the revision tail
  kChange = 4,        // to a kWatchSince: records one changed key, revision its revision (the tail)
};

struct Request {
  Operation operation = Operation::kGetSets;
  std::string client;  // who asks, for the server's log
  std::string tag;     // the caller's free text, for the server's log
  std::string set;
  std::string section;
  std::string key;
  std::string value;  // only for kSetValue
  std::vector<Record> entries = {};  // version 2: only for kImportEntries

  // The operations from kFirstRevisionOperation on: which revisions, and
  // how many (see Operation).
  std::uint64_t revision = 0;
  std::uint64_t otherRevision = 0;  // kDiff: kCurrentRevision for now
  std::uint32_t count = 0;          // kHistory: at most this many, up to kMaxRevisionsPerReply
  // kSetValue, kDelete, kReset, kImportCommit and kRollback: the change is
  // rolled back unless confirmed (kConfirm) within this many seconds, up to
  // kMaxConfirmSeconds; 0: a plain change.
  std::uint32_t confirmSeconds = 0;

  // What an operation takes besides its names travels in one ulong, which
  // each operation reads under its own name below.

  // Version 1: the console's request code (CfgItemCommand), passed through
  // and never interpreted.
  std::uint32_t requestCode() const { return argument_; }
  void SetRequestCode(std::uint32_t code) { argument_ = code; }

  // kDelete, kChanges, kReset and kSubscribe: the scope, its level in that
  // ulong and its names in set, section and key. A level beyond kKey is what
  // a peer sent; CheckRequestLimits rejects it.
  ConfigScope::Level scopeLevel() const { return static_cast<ConfigScope::Level>(argument_); }
  ConfigScope scope() const { return ConfigScope{scopeLevel(), set, section, key}; }
  void SetScope(const ConfigScope& scope);

  // kImportBegin: the import replaces the set's values instead of adding to them.
  bool replace() const { return argument_ == kReplaceArgument; }
  void SetReplace(bool replace) { argument_ = replace ? kReplaceArgument : 0; }

  // kExport: one piece of the set, after section and key (see
  // kExportPieceArgument), instead of all of it.
  bool inPieces() const { return argument_ == kExportPieceArgument; }
  void SetInPieces(bool inPieces) { argument_ = inPieces ? kExportPieceArgument : 0; }

 private:
  static constexpr std::uint32_t kReplaceArgument = 1;

  // The codec alone sees the ulong as it travels.
  friend LxStatus EncodeRequestFrame(const Request& request, std::string* frame, std::uint8_t version);
  friend LxStatus DecodeRequestBody(const FrameHeader& header, const std::string& body, Request* request);
  friend LxStatus DecodeRequestBody(const FrameHeader& header, const std::string& body, Request* request,
                                    MessageDecoder* decoder);

  std::uint32_t argument_ = 0;
};

// kDiff's otherRevision for the configuration as it is now.
constexpr std::uint64_t kCurrentRevision = ~std::uint64_t{0};

struct KeyValue {
  std::string key;
  std::string value;
};

// The server's answer. names: sets or sections, ascending byte order.
// pairs: keys and values, ascending key order. value: for kGetValue.
struct Reply {
  CfgItemStatus::Status status = CfgItemStatus::kSuccess;
  std::string value;
  std::vector<std::string> names;
  std::vector<KeyValue> pairs;
  // Version 2 only.
  ReplyKind kind = ReplyKind::kAnswer;
  std::uint32_t missed = 0;
  std::vector<Record> records;
  // kRevisions and kChange only: the current revision (after a rollback,
  // the one it made; kChange: the change's), the oldest kept, and the
  // revisions a history or show lists (a rollback or cancel: the one it
  // made, with number and keys only; none when nothing differed).
  std::uint64_t revision = 0;
  std::uint64_t oldestKept = 0;
  std::vector<RevisionEntry> revisions;
  std::string reason;  // why a write was rejected; at most kMaxReasonBytes
};

// Body layout, CDR in the sender's order:
//   request: ulong operation, ulong argument (see Request), then client, tag,
//            set, section, key, value as strings
//   reply:   ulong status, string value, ulong count + count strings (names),
//            ulong count + count (key, value) string pairs
// Version 2 appends, to a request: ulong count + count records; to a reply:
// ulong kind, ulong missed, ulong count + count records. A record is ulong
// kind, then set, section, key, value, defaultValue as strings.
// A request of an operation from kFirstRevisionOperation on then has the
// revision fields: revision and otherRevision, each as two ulongs (high
// half first), ulong count and ulong confirmSeconds (a kWatchSince's
// revision kCurrentRevision: from now on). A change to be
// confirmed of an older operation (kSetValue, then in a version-2 frame;
// kDelete, kReset, kImportCommit) ends with them too: the only trailing
// bytes those requests may have. A reply of kind kRevisions or kChange then
// has revision and oldestKept so, and ulong count + count revision entries:
// number and time as two ulongs each, ulong uid, ulong pid, then user name,
// program, client, tag and summary as strings, and ulong keys. Last, any
// version-2 reply has the reason as a string only when there is one (a
// reply without it keeps the bytes older clients decode).
// A string is a ulong byte count followed by that many octets, so any byte,
// NUL included, survives the trip.

namespace layout {

constexpr std::size_t kULongBytes = 4;

// CDR starts every ulong on a multiple of four bytes, so the octets of a
// string are followed by up to three bytes of padding when a field follows.
constexpr std::size_t PaddedToULong(std::size_t bytes) { return (bytes + kULongBytes - 1) / kULongBytes * kULongBytes; }

// A string followed by another field. The padded size grows with the
// string, so the longest legal string is also the largest on the wire.
constexpr std::size_t PaddedStringBytes(std::size_t maxBytes) { return kULongBytes + PaddedToULong(maxBytes); }

}  // namespace layout

// The largest body of a request within the limits of Limits.h: a write to
// be confirmed, with operation and argument, client and tag, set, section
// and key, the value, no entries (in version 2, whose rejection says why)
// and the revision fields. A request frame announcing more cannot be
// legal; the server refuses it at the header instead of buffering it.
constexpr std::size_t kRevisionFieldsBytes = 6 * layout::kULongBytes;
constexpr std::uint32_t kMaxRequestBodyBytes =
    2 * layout::kULongBytes + 2 * layout::PaddedStringBytes(kMaxLabelBytes) +
    3 * layout::PaddedStringBytes(kMaxNameBytes) + layout::PaddedStringBytes(kMaxValueBytes) + layout::kULongBytes +
    kRevisionFieldsBytes;

// Encode as a whole frame in this machine's byte order. Fail when the frame
// would be over the size limit. A request goes in VersionFor(operation), or
// in version when that is later (a version 1 operation whose reply should
// carry a rejection's reason); a reply in version (that of the request it
// answers).
LxStatus EncodeRequestFrame(const Request& request, std::string* frame, std::uint8_t version = kFirstProtocolVersion);
LxStatus EncodeReplyFrame(const Reply& reply, std::string* frame, std::uint8_t version = kFirstProtocolVersion);
// The same with encoder, kept by a caller that encodes many replies.
LxStatus EncodeReplyFrame(const Reply& reply, std::string* frame, std::uint8_t version, MessageEncoder* encoder);

// Bytes one record adds to a request body: import batches stay within
// kMaxRequestBodyBytes by this count.
std::size_t RecordWireBytes(const Record& record);

// Decode a body received under header, in the layout of its version. Fail
// on truncation, trailing bytes, an unknown operation (or one newer than
// the frame's version), status or kind, or a count that cannot fit the body.
LxStatus DecodeRequestBody(const FrameHeader& header, const std::string& body, Request* request);
// The same with decoder, kept by a caller that decodes many requests.
LxStatus DecodeRequestBody(const FrameHeader& header, const std::string& body, Request* request,
                           MessageDecoder* decoder);
LxStatus DecodeReplyBody(const FrameHeader& header, const std::string& body, Reply* reply);

// The operation and argument of a request body, read from its first two
// fields without decoding the rest (so a server can sort requests before it
// answers them); false when the body is too short to hold them.
bool PeekRequest(const FrameHeader& header, const std::string& body, std::uint32_t* operation,
                 std::uint32_t* argument);

// The operation's name for log lines ("get-value", ...).
const char* OperationName(Operation operation);

}  // namespace wire
}  // namespace qet_cfgserver
