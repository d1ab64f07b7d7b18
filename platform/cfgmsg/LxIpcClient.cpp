#include "cfgmsg/LxIpcClient.h"

#include <memory>
#include <tuple>
#include <vector>

#include "cfgmsg/CfgHistory.h"
#include "cfgwire/RequestLimits.h"
#include "cfgwire/RuntimeDirectory.h"
#include "dlog/dlog.h"

namespace qet_cfgserver {

namespace {

constexpr const char* kLogSource = "LxIpcClient";

// Handles made by Create(). Built before main() and so destroyed after every
// object that main() makes: a handle outlives the application using it.
class HandleRegistry {
 public:
  LxIpcClient* Adopt(std::unique_ptr<LxIpcClient> handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    handles_.push_back(std::move(handle));
    return handles_.back().get();
  }

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<LxIpcClient>> handles_;
};

HandleRegistry registry;

// Records of a listing of changes (or an import's preview) as the caller's.
void AppendChanges(std::vector<wire::Record>* records, std::vector<LxCfgChange>* changes) {
  for (wire::Record& record : *records) {
    LxCfgChange change;
    change.kind = record.kind == wire::RecordKind::kAdded     ? LxCfgChange::Kind::kAdded
                  : record.kind == wire::RecordKind::kChanged ? LxCfgChange::Kind::kChanged
                                                              : LxCfgChange::Kind::kDeleted;
    change.set = std::move(record.set);
    change.section = std::move(record.section);
    change.key = std::move(record.key);
    change.value = std::move(record.value);
    change.defaultValue = std::move(record.defaultValue);
    changes->push_back(std::move(change));
  }
}

// An entry as an import batch carries it: the set goes with the begin.
wire::Record ImportRecord(const ConfigEntry& entry) {
  return wire::Record{wire::RecordKind::kValue, "", entry.section, entry.key, entry.value, ""};
}

}  // namespace

const ACE_Time_Value LxIpcClient::kDefaultTimeout(3);

LxIpcClient* LxIpcClient::Create(const std::string& clientName, const std::string& endpointName) {
  std::string socketPath;
  LxStatus status = wire::EndpointPath(wire::DefaultRuntimeDirectory(), endpointName, &socketPath);
  if (!status.ok()) __dlog_printf(kDlogWarning, kLogSource, "%s\n", status.ToString().c_str());
  return registry.Adopt(std::make_unique<LxIpcClient>(clientName, socketPath, kDefaultTimeout));
}

LxIpcClient::LxIpcClient(std::string clientName, std::string socketPath, const ACE_Time_Value& timeout)
    : clientName_(std::move(clientName)), timeout_(timeout), connection_(std::move(socketPath), timeout) {}

LxIpcClient::~LxIpcClient() { Release(); }

CfgItemStatus::Status LxIpcClient::ListSets(std::set<std::string>& sets, const std::string& tag) {
  sets.clear();
  wire::Reply reply;
  const CfgItemStatus::Status status = Ask(NewRequest(wire::Operation::kGetSets, tag), &reply);
  sets.insert(reply.names.begin(), reply.names.end());
  return status;
}

CfgItemStatus::Status LxIpcClient::ListSections(const std::string& set, std::set<std::string>& sections,
                                                const std::string& tag) {
  sections.clear();
  wire::Request request = NewRequest(wire::Operation::kGetSections, tag);
  request.set = set;
  wire::Reply reply;
  const CfgItemStatus::Status status = Ask(request, &reply);
  sections.insert(reply.names.begin(), reply.names.end());
  return status;
}

CfgItemStatus::Status LxIpcClient::ListKeysAndValues(const std::string& set, const std::string& section,
                                                     std::list<LxCfgKeyValuePair>& pairs, const std::string& tag) {
  pairs.clear();
  wire::Request request = NewRequest(wire::Operation::kGetKeysAndValues, tag);
  request.set = set;
  request.section = section;
  wire::Reply reply;
  const CfgItemStatus::Status status = Ask(request, &reply);
  for (wire::KeyValue& pair : reply.pairs) pairs.emplace_back(std::move(pair.key), std::move(pair.value));
  return status;
}

CfgItemStatus::Status LxIpcClient::ReadValue(const std::string& set, const std::string& section,
                                             const std::string& key, std::string& value, const std::string& tag) {
  wire::Request request = NewRequest(wire::Operation::kGetValue, tag);
  request.SetRequestCode(CfgItemCommand::kGet);
  request.set = set;
  request.section = section;
  request.key = key;
  wire::Reply reply;
  const CfgItemStatus::Status status = Ask(request, &reply);
  value = std::move(reply.value);
  return status;
}

wire::Request LxIpcClient::WriteRequest(const std::string& set, const std::string& section, const std::string& key,
                                        const std::string& value, const std::string& tag) const {
  wire::Request request = NewRequest(wire::Operation::kSetValue, tag);
  request.SetRequestCode(CfgItemCommand::kSet);
  request.set = set;
  request.section = section;
  request.key = key;
  request.value = value;
  return request;
}

CfgItemStatus::Status LxIpcClient::WriteValue(const std::string& set, const std::string& section,
                                              const std::string& key, const std::string& value,
                                              const std::string& tag) {
  wire::Reply reply;
  return Ask(WriteRequest(set, section, key, value, tag), &reply);
}

CfgItemStatus::Status LxIpcClient::WriteCheckedValue(const std::string& set, const std::string& section,
                                                     const std::string& key, const std::string& value,
                                                     const std::string& tag) {
  wire::Reply reply;
  return Ask(WriteRequest(set, section, key, value, tag), &reply, wire::kProtocolVersion);
}

std::string LxIpcClient::LastReason() const { return lastReason_; }

CfgItemStatus::Status LxIpcClient::DeleteScope(const ConfigScope& scope, const std::string& tag,
                                               std::uint32_t confirmSeconds) {
  wire::Request request = ScopedRequest(wire::Operation::kDelete, scope, tag);
  request.confirmSeconds = confirmSeconds;
  wire::Reply reply;
  return Ask(request, &reply);
}

CfgItemStatus::Status LxIpcClient::ResetScope(const ConfigScope& scope, const std::string& tag,
                                              std::uint32_t confirmSeconds) {
  wire::Request request = ScopedRequest(wire::Operation::kReset, scope, tag);
  request.confirmSeconds = confirmSeconds;
  wire::Reply reply;
  return Ask(request, &reply);
}

CfgItemStatus::Status LxIpcClient::WriteValueToConfirm(const std::string& set, const std::string& section,
                                                       const std::string& key, const std::string& value,
                                                       std::uint32_t confirmSeconds, const std::string& tag) {
  wire::Request request = NewRequest(wire::Operation::kSetValue, tag);
  request.SetRequestCode(CfgItemCommand::kSet);
  request.set = set;
  request.section = section;
  request.key = key;
  request.value = value;
  request.confirmSeconds = confirmSeconds;
  wire::Reply reply;
  return Ask(request, &reply);
}

CfgItemStatus::Status LxIpcClient::Confirm(const std::string& tag) {
  wire::Reply reply;
  return AskRevisions(NewRequest(wire::Operation::kConfirm, tag), &reply);
}

CfgItemStatus::Status LxIpcClient::Cancel(std::uint64_t& made, const std::string& tag) {
  wire::Reply reply;
  const CfgItemStatus::Status status = AskRevisions(NewRequest(wire::Operation::kCancel, tag), &reply);
  made = status == CfgItemStatus::kSuccess && !reply.revisions.empty() ? reply.revisions.front().number : 0;
  return status;
}

CfgItemStatus::Status LxIpcClient::ExportSet(const std::string& set, std::vector<ConfigEntry>& entries,
                                             const std::string& tag) {
  entries.clear();
  wire::Request request = NewRequest(wire::Operation::kExport, tag);
  request.set = set;
  request.SetInPieces(true);
  std::size_t setBytes = 0;
  for (;;) {
    wire::Reply reply;
    CfgItemStatus::Status status = Ask(request, &reply);
    if (status == CfgItemStatus::kSuccess && reply.records.empty()) return status;
    // Each piece starts after the one before: a server that sent one again
    // would keep this loop going for ever.
    if (status == CfgItemStatus::kSuccess && !entries.empty() &&
        std::tie(reply.records.front().section, reply.records.front().key) <= std::tie(request.section, request.key)) {
      Report(request, CfgItemStatus::kServerError, LxStatus::Corruption("a piece of the export came twice"));
      status = CfgItemStatus::kServerError;
    }
    for (wire::Record& record : reply.records) setBytes += wire::RecordWireBytes(record);
    if (status == CfgItemStatus::kSuccess && setBytes > wire::kMaxSetBytes) {
      Report(request, CfgItemStatus::kRejected, LxStatus::InvalidArgument("the set is larger than an import takes"));
      status = CfgItemStatus::kRejected;
    }
    if (status != CfgItemStatus::kSuccess) {
      entries.clear();
      return status;
    }
    for (wire::Record& record : reply.records)
      entries.push_back(ConfigEntry{std::move(record.section), std::move(record.key), std::move(record.value)});
    request.section = entries.back().section;
    request.key = entries.back().key;
  }
}

CfgItemStatus::Status LxIpcClient::ListChanges(const ConfigScope& scope, std::vector<LxCfgChange>& changes,
                                               const std::string& tag) {
  changes.clear();
  wire::Reply reply;
  const CfgItemStatus::Status status = Ask(ScopedRequest(wire::Operation::kChanges, scope, tag), &reply);
  AppendChanges(&reply.records, &changes);
  return status;
}

CfgItemStatus::Status LxIpcClient::ImportSet(const std::string& set, const std::vector<ConfigEntry>& entries,
                                             bool replace, const std::string& tag, std::uint32_t confirmSeconds) {
  CfgItemStatus::Status status = StageImport(set, entries, replace, tag);
  wire::Request commit = NewRequest(wire::Operation::kImportCommit, tag);
  commit.confirmSeconds = confirmSeconds;
  wire::Reply reply;
  if (status == CfgItemStatus::kSuccess) status = Ask(commit, &reply);
  return status;
}

CfgItemStatus::Status LxIpcClient::PreviewImport(const std::string& set, const std::vector<ConfigEntry>& entries,
                                                 bool replace, std::vector<LxCfgChange>& changes,
                                                 const std::string& tag) {
  changes.clear();
  CfgItemStatus::Status status = StageImport(set, entries, replace, tag);
  wire::Reply reply;
  if (status == CfgItemStatus::kSuccess) status = Ask(NewRequest(wire::Operation::kImportPreview, tag), &reply);
  AppendChanges(&reply.records, &changes);
  return status;
}

CfgItemStatus::Status LxIpcClient::StageImport(const std::string& set, const std::vector<ConfigEntry>& entries,
                                               bool replace, const std::string& tag) {
  wire::Request batch = NewRequest(wire::Operation::kImportEntries, tag);
  std::string empty;
  if (!wire::EncodeRequestFrame(batch, &empty).ok()) return CfgItemStatus::kRejected;
  const std::size_t emptyBodyBytes = empty.size() - wire::kFrameHeaderBytes;
  // Every entry is checked before anything is sent: a bad one imports nothing.
  std::size_t setBytes = 0;
  for (const ConfigEntry& entry : entries) {
    batch.entries = {ImportRecord(entry)};
    setBytes += wire::RecordWireBytes(batch.entries.front());
    LxStatus why = wire::CheckRequestLimits(batch);
    if (why.ok() && setBytes > wire::kMaxSetBytes)
      why = LxStatus::InvalidArgument("the set is larger than an import takes");
    if (!why.ok()) {
      Report(batch, CfgItemStatus::kRejected, why);
      return CfgItemStatus::kRejected;
    }
  }
  wire::Request begin = NewRequest(wire::Operation::kImportBegin, tag);
  begin.set = set;
  begin.SetReplace(replace);
  wire::Reply reply;
  CfgItemStatus::Status status = Ask(begin, &reply);
  batch.entries.clear();
  std::size_t batchBytes = emptyBodyBytes;
  for (std::size_t index = 0; status == CfgItemStatus::kSuccess && index <= entries.size(); ++index) {
    const bool last = index == entries.size();
    wire::Record record = last ? wire::Record() : ImportRecord(entries[index]);
    const std::size_t recordBytes = last ? 0 : wire::RecordWireBytes(record);
    if (!batch.entries.empty() && (last || batchBytes + recordBytes > wire::kMaxRequestBodyBytes)) {
      status = Ask(batch, &reply);
      batch.entries.clear();
      batchBytes = emptyBodyBytes;
    }
    if (last) break;
    batch.entries.push_back(std::move(record));
    batchBytes += recordBytes;
  }
  return status;
}

CfgItemStatus::Status LxIpcClient::ReadRevision(std::uint64_t& current, std::uint64_t& oldestKept,
                                                const std::string& tag) {
  wire::Reply reply;
  const CfgItemStatus::Status status = AskRevisions(NewRequest(wire::Operation::kRevision, tag), &reply);
  current = reply.revision;
  oldestKept = reply.oldestKept;
  return status;
}

CfgItemStatus::Status LxIpcClient::ListHistory(const ConfigScope& scope, std::uint64_t before, std::uint32_t count,
                                               std::vector<RevisionEntry>& revisions, const std::string& tag) {
  wire::Request request = ScopedRequest(wire::Operation::kHistory, scope, tag);
  request.revision = before;
  request.count = count;
  wire::Reply reply;
  const CfgItemStatus::Status status = AskRevisions(request, &reply);
  revisions = std::move(reply.revisions);
  return status;
}

CfgItemStatus::Status LxIpcClient::ShowRevision(std::uint64_t revision, RevisionEntry& entry,
                                                std::vector<KeyChange>& changes, const std::string& tag) {
  wire::Request request = NewRequest(wire::Operation::kShowRevision, tag);
  request.revision = revision;
  wire::Reply first;
  CfgItemStatus::Status status = AskKeysInPieces(request, &first, &changes);
  if (status == CfgItemStatus::kSuccess && first.revisions.size() != 1) status = CfgItemStatus::kServerError;
  if (status != CfgItemStatus::kSuccess) return status;
  entry = std::move(first.revisions.front());
  return status;
}

CfgItemStatus::Status LxIpcClient::DiffRevisions(std::uint64_t from, std::uint64_t to,
                                                 std::vector<KeyChange>& changes, const std::string& tag) {
  wire::Request request = NewRequest(wire::Operation::kDiff, tag);
  request.revision = from;
  request.otherRevision = to == kCfgCurrentRevision ? wire::kCurrentRevision : to;
  wire::Reply first;
  return AskKeysInPieces(request, &first, &changes);
}

CfgItemStatus::Status LxIpcClient::AskKeysInPieces(wire::Request request, wire::Reply* first,
                                                   std::vector<KeyChange>* changes) {
  changes->clear();
  for (bool firstPiece = true;; firstPiece = false) {
    wire::Reply reply;
    CfgItemStatus::Status status = AskRevisions(request, &reply);
    // Each piece starts after the one before: a server that sent one again
    // would keep this loop going for ever.
    if (status == CfgItemStatus::kSuccess && !firstPiece && !reply.records.empty() &&
        std::tie(reply.records.front().set, reply.records.front().section, reply.records.front().key) <=
            std::tie(request.set, request.section, request.key)) {
      Report(request, CfgItemStatus::kServerError, LxStatus::Corruption("a piece of the answer came twice"));
      status = CfgItemStatus::kServerError;
    }
    if (status != CfgItemStatus::kSuccess) {
      changes->clear();
      return status;
    }
    if (firstPiece) {
      // Later pieces compare with what was current for the first.
      if (request.otherRevision == wire::kCurrentRevision) request.otherRevision = reply.revision;
      *first = reply;
    }
    if (reply.records.empty()) return status;
    for (const wire::Record& record : reply.records) changes->push_back(wire::KeyChangeOf(record));
    request.set = reply.records.back().set;
    request.section = reply.records.back().section;
    request.key = reply.records.back().key;
  }
}

CfgItemStatus::Status LxIpcClient::RollBack(std::uint64_t revision, std::uint64_t& made, const std::string& tag,
                                            std::uint32_t confirmSeconds) {
  wire::Request request = NewRequest(wire::Operation::kRollback, tag);
  request.revision = revision;
  request.confirmSeconds = confirmSeconds;
  wire::Reply reply;
  const CfgItemStatus::Status status = AskRevisions(request, &reply);
  // The answer lists the revision made, none when nothing differed.
  made = status == CfgItemStatus::kSuccess && !reply.revisions.empty() ? reply.revisions.front().number : 0;
  return status;
}

CfgItemStatus::Status LxIpcClient::CheckWritable(const std::string& set, const std::string& tag) {
  wire::Request begin = NewRequest(wire::Operation::kImportBegin, tag);
  begin.set = set;
  wire::Reply reply;
  return Ask(begin, &reply);
}

wire::Request LxIpcClient::ScopedRequest(wire::Operation operation, const ConfigScope& scope,
                                         const std::string& tag) const {
  wire::Request request = NewRequest(operation, tag);
  request.SetScope(scope);
  return request;
}

void LxIpcClient::Release() {
  std::unique_lock<std::mutex> lock(mutex_);
  released_ = true;
  connection_.Interrupt();
  // The interrupted request returns at once; the bound only guards against
  // the unforeseen. Whoever finishes last closes the connection.
  idle_.wait_for(lock, std::chrono::seconds(timeout_.sec() + 1), [this] { return !busy_; });
  if (!busy_) connection_.Close();
}

wire::Request LxIpcClient::NewRequest(wire::Operation operation, const std::string& tag) const {
  wire::Request request;
  request.operation = operation;
  request.client = clientName_;
  request.tag = tag;
  return request;
}

CfgItemStatus::Status LxIpcClient::Ask(const wire::Request& request, wire::Reply* reply, std::uint8_t version) {
  lastReason_.clear();
  if (!BeginRequest()) return CfgItemStatus::kNoServer;
  const CfgItemStatus::Status status = AskOnce(request, reply, version);
  if (status != CfgItemStatus::kSuccess && status != CfgItemStatus::kKeyNotFound) {
    *reply = wire::Reply();  // a failed request hands back nothing
    reply->status = status;
  }
  EndRequest();
  return status;
}

CfgItemStatus::Status LxIpcClient::AskRevisions(const wire::Request& request, wire::Reply* reply) {
  const CfgItemStatus::Status status = Ask(request, reply);
  if (status != CfgItemStatus::kSuccess || reply->kind == wire::ReplyKind::kRevisions) return status;
  *reply = wire::Reply();
  reply->status = CfgItemStatus::kServerError;
  return reply->status;
}

CfgItemStatus::Status LxIpcClient::AskOnce(const wire::Request& request, wire::Reply* reply, std::uint8_t version) {
  LxStatus why = wire::CheckRequestLimits(request);
  std::string frame;
  if (why.ok()) why = wire::EncodeRequestFrame(request, &frame, version);
  if (!why.ok()) {
    Report(request, CfgItemStatus::kRejected, why);
    return CfgItemStatus::kRejected;
  }

  wire::FrameHeader header;
  std::string body;
  CfgItemStatus::Status status = CfgItemStatus::kServerError;
  connectionProblem_ = LxStatus::Ok();
  switch (connection_.RoundTrip(frame, &header, &body, &why)) {
    case LxServerConnection::Outcome::kAnswered:
      why = wire::DecodeReplyBody(header, body, reply);
      if (why.ok()) {
        status = reply->status;
        lastReason_ = reply->reason;
      } else {
        connection_.Close();  // what follows on the stream cannot be trusted
      }
      break;
    case LxServerConnection::Outcome::kUnreachable: status = CfgItemStatus::kNoServer; break;
    case LxServerConnection::Outcome::kTimedOut: status = CfgItemStatus::kTimeout; break;
    case LxServerConnection::Outcome::kBroken: status = CfgItemStatus::kServerError; break;
    case LxServerConnection::Outcome::kPermissionDenied:
      status = CfgItemStatus::kAccessDenied;
      connectionProblem_ = why;
      break;
    case LxServerConnection::Outcome::kUntrusted:
      status = CfgItemStatus::kNoServer;
      connectionProblem_ = why;
      break;
  }
  Report(request, status, why);
  return status;
}

bool LxIpcClient::BeginRequest() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (released_) return false;
  busy_ = true;
  return true;
}

void LxIpcClient::EndRequest() {
  std::lock_guard<std::mutex> lock(mutex_);
  busy_ = false;
  if (released_) connection_.Close();
  idle_.notify_all();
}

void LxIpcClient::Report(const wire::Request& request, CfgItemStatus::Status status, const LxStatus& why) {
  const char* operation = wire::OperationName(request.operation);
  if (status == CfgItemStatus::kRejected) {
    __dlog_printf(kDlogWarning, kLogSource, "%s rejected: %s\n", operation, why.ToString().c_str());
    return;
  }
  if (status == CfgItemStatus::kAccessDenied) {
    __dlog_printf(kDlogWarning, kLogSource, "%s: %s\n", operation, why.ok() ? "access denied" : why.message().c_str());
    return;
  }
  const bool failed =
      status == CfgItemStatus::kNoServer || status == CfgItemStatus::kTimeout || status == CfgItemStatus::kServerError;
  if (failed && !inOutage_) __dlog_printf(kDlogWarning, kLogSource, "%s failed: %s\n", operation, why.ToString().c_str());
  if (!failed && inOutage_) __dlog_printf(kDlogNotice, kLogSource, "the server answers again\n");
  inOutage_ = failed;
}

}  // namespace qet_cfgserver
