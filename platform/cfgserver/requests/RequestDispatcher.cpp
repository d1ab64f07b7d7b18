#include "requests/RequestDispatcher.h"

#include <map>
#include <optional>
#include <utility>

#include "cfgwire/RequestLimits.h"
#include "log/ServerLog.h"
#include "recovery/RunRecoveringOnce.h"
#include "requests/HistoryRequests.h"
#include "requests/ReplyFrame.h"
#include "requests/RequestLog.h"
#include "requests/RevisionNotes.h"

namespace qet_cfgserver {

namespace {

wire::Reply StoreFailure(const wire::Request& request, const LxStatus& status) {
  __dlog_printf(kDlogError, kServerLogSource, "%s failed: %s", wire::OperationName(request.operation),
                status.ToString().c_str());
  return ReplyWithStatus(CfgItemStatus::kServerError);
}

bool IsWrite(wire::Operation operation) {
  return operation == wire::Operation::kSetValue || operation == wire::Operation::kDelete ||
         operation == wire::Operation::kReset || operation == wire::Operation::kImportCommit ||
         operation == wire::Operation::kRollback || operation == wire::Operation::kCancel;
}

// Who made a request: no one known for one made in process.
const PeerCredentials& PeerOf(const ClientSession* session) {
  static const PeerCredentials kInProcess;
  return session != nullptr ? session->peer() : kInProcess;
}

// The set an import under way on session is for; none without a session.
const std::string& ImportSetOf(ClientSession* session) {
  static const std::string kNoImport;
  return session != nullptr ? session->staging().set() : kNoImport;
}

// The note of a change request (set, delete, reset, import commit) from
// session: its peer, and the change as cfgctl would say it.
ChangeNote NoteOf(const wire::Request& request, ClientSession* session) {
  switch (request.operation) {
    case wire::Operation::kSetValue:
      return NoteFor(request, PeerOf(session),
                     RevisionSummary(CommandWords(request, "set"), {request.set, request.section, request.key}));
    case wire::Operation::kImportCommit: {
      const ImportStaging& staging = session->staging();
      const std::string command = staging.replace() ? "import --replace" : "import";
      return NoteFor(request, PeerOf(session), RevisionSummary(CommandWords(request, command), {staging.set()}));
    }
    default:
      return NoteFor(request, PeerOf(session),
                     RevisionSummary(CommandWords(request, wire::OperationName(request.operation)),
                                     ScopeNames(request.scope())));
  }
}

// Whether request may have changed what awaits confirmation.
bool ChangesConfirmation(const wire::Request& request) {
  return request.confirmSeconds != 0 || request.operation == wire::Operation::kConfirm ||
         request.operation == wire::Operation::kCancel;
}

// A schema's refusal, on one log line whatever the names and values hold.
void LogRefused(const wire::Request& request, const std::string& reason) {
  LogRejected(request, LxStatus::InvalidArgument(Printable(reason)));
}

bool EndsImport(wire::Operation operation) {
  return operation == wire::Operation::kImportCommit || operation == wire::Operation::kImportPreview;
}

bool NeedsConnection(wire::Operation operation) {
  return operation == wire::Operation::kSubscribe || operation == wire::Operation::kImportBegin ||
         operation == wire::Operation::kImportEntries || EndsImport(operation) ||
         operation == wire::Operation::kWatchSince;
}

}  // namespace

wire::Reply RequestDispatcher::Dispatch(const wire::Request& request, ClientSession* session) {
  wire::Reply reply;
  Answer(request, session, &reply);
  return reply;
}

void RequestDispatcher::Answer(const wire::Request& request, ClientSession* session, wire::Reply* reply) {
  LxStatus limits = wire::CheckRequestLimits(request);
  if (limits.ok() && session == nullptr && NeedsConnection(request.operation))
    limits = LxStatus::InvalidArgument("the operation needs a connection");
  if (!limits.ok()) {
    if (session != nullptr && request.operation == wire::Operation::kImportEntries) session->staging().Drop();
    LogRejected(request, limits);
    reply->status = CfgItemStatus::kRejected;
    return;
  }
  if (HandleSessionOperation(request, session, reply)) return;
  if (!AdmitsRequest(request, session, &reply->reason)) {
    if (EndsImport(request.operation)) session->staging().Drop();
    LogRefused(request, reply->reason);
    reply->status = CfgItemStatus::kRejected;
    return;
  }
  CommittedRevision committed;
  bool ranBefore = false;
  const LxStatus status = RunRecoveringOnce(keeper_, wire::OperationName(request.operation), [&](ConfigStore* store) {
    // A second run, on the rebuilt store, starts afresh; a first finds
    // both as new.
    if (ranBefore) {
      *reply = wire::Reply();
      committed = CommittedRevision();
    }
    ranBefore = true;
    return Execute(store, request, session, reply, &committed);
  });
  if (EndsImport(request.operation)) session->staging().Drop();
  if (status.code() == LxStatus::Code::kNotFound) {
    *reply = ReplyWithStatus(CfgItemStatus::kKeyNotFound);
    return;
  }
  // A revision not made yet: the request, not the store, is at fault.
  if (status.code() == LxStatus::Code::kInvalidArgument) {
    LogRejected(request, status);
    *reply = ReplyWithStatus(CfgItemStatus::kRejected);
    return;
  }
  if (!status.ok()) {
    *reply = StoreFailure(request, status);
    return;
  }
  if (reply->status == CfgItemStatus::kRejected) {
    LogRefused(request, reply->reason);
    return;
  }
  if (feed_ != nullptr && committed.number != 0) feed_->Publish(committed);
  if (IsWrite(request.operation)) LogWrite(request, PeerOf(session), committed.changes.size());
  if (confirmations_ != nullptr && ChangesConfirmation(request)) confirmations_->Refresh();
}

bool RequestDispatcher::Admits(const std::string& set, const std::vector<ConfigEntry>& entries, bool nameEntries,
                               std::string* reason) const {
  if (schemas_ == nullptr || schemas_->empty()) return true;
  bool admitted = true;
  reason->clear();
  for (const ConfigEntry& entry : entries) {
    std::string why;
    if (schemas_->Check(set, entry.section, entry.key, entry.value, &why)) continue;
    admitted = false;
    if (reason->size() >= wire::kMaxReasonBytes) continue;  // the reply would cut it anyway
    if (!reason->empty()) reason->push_back('\n');
    reason->append(nameEntries ? "[" + entry.section + "] " + entry.key + ": " + why : why);
  }
  return admitted;
}

bool RequestDispatcher::AdmitsRequest(const wire::Request& request, ClientSession* session,
                                      std::string* reason) const {
  switch (request.operation) {
    case wire::Operation::kSetValue:
      return Admits(request.set, {ConfigEntry{request.section, request.key, request.value}}, false, reason);
    case wire::Operation::kImportCommit:
    case wire::Operation::kImportPreview:
      // Unpacking the staging costs a copy of it: only for a governed set.
      if (schemas_ == nullptr || !schemas_->Governs(session->staging().set())) return true;
      return Admits(session->staging().set(), session->staging().entries(), true, reason);
    default:
      return true;
  }
}

LxStatus RequestDispatcher::AdmitsReset(ConfigStore* store, const ConfigScope& scope, wire::Reply* reply) const {
  if (schemas_ == nullptr || schemas_->empty()) return LxStatus::Ok();
  // The defaults a reset brings back are those an operator's change hides.
  std::vector<wire::Record> changes;
  LxStatus status = store->layers().GetChanges(scope, &changes);
  if (!status.ok()) return status;
  std::map<std::string, std::vector<ConfigEntry>> restored;  // by set
  for (const wire::Record& change : changes)
    if (change.kind != wire::RecordKind::kAdded)
      restored[change.set].push_back({change.section, change.key, change.defaultValue});
  for (const auto& set : restored) {
    if (!Admits(set.first, set.second, true, &reply->reason)) {
      reply->status = CfgItemStatus::kRejected;
      break;
    }
  }
  return LxStatus::Ok();
}

LxStatus RequestDispatcher::AdmitsRollback(ConfigStore* store, const wire::Request& request,
                                           wire::Reply* reply) const {
  if (schemas_ == nullptr || schemas_->empty()) return LxStatus::Ok();
  std::uint64_t base = request.revision;
  if (request.operation == wire::Operation::kCancel) {
    std::optional<PendingConfirmation> pending;
    const LxStatus read = store->revisions().Pending(&pending);
    if (!read.ok() || !pending) return read;  // nothing awaits: the cancel says so
    base = pending->base;
  }
  std::uint64_t current = 0;
  std::vector<KeyChange> differences;
  LxStatus status = store->revisions().Current(&current);
  // A revision not kept or not made: the rollback itself says which.
  if (status.ok() && store->history().Differences(base, current, ConfigScope{}, &differences).ok()) {
    // What the rollback writes: each key's value at base, where it had one.
    std::map<std::string, std::vector<ConfigEntry>> restored;  // by set
    for (const KeyChange& change : differences)
      if (change.before) restored[change.set].push_back({change.section, change.key, *change.before});
    for (const auto& set : restored) {
      if (!Admits(set.first, set.second, true, &reply->reason)) {
        reply->status = CfgItemStatus::kRejected;
        break;
      }
    }
  }
  return status;
}

bool RequestDispatcher::HandleSessionOperation(const wire::Request& request, ClientSession* session,
                                               wire::Reply* reply) {
  LxStatus status;
  switch (request.operation) {
    case wire::Operation::kImportBegin:
      session->staging().Begin(request.set, request.replace());
      break;
    case wire::Operation::kImportEntries:
      status = session->staging().Add(request.entries);
      break;
    case wire::Operation::kImportCommit:
    case wire::Operation::kImportPreview:
      if (!session->staging().active()) status = LxStatus::InvalidArgument("a commit without an import under way");
      break;
    case wire::Operation::kSubscribe:
      if (feed_ == nullptr) status = LxStatus::InvalidArgument("this server publishes no changes");
      else status = session->Subscribe(feed_, request.scope(), ReadableBy(session->peer()));
      break;
    case wire::Operation::kWatchSince:
      status = WatchSince(request, session, reply);
      if (status.code() == LxStatus::Code::kNotFound) {
        *reply = ReplyWithStatus(CfgItemStatus::kKeyNotFound);
        return true;
      }
      break;
    default:
      return false;
  }
  if (status.ok() && EndsImport(request.operation)) return false;  // the store's turn
  if (!status.ok()) LogRejected(request, status);
  reply->status = status.ok() ? CfgItemStatus::kSuccess : CfgItemStatus::kRejected;
  return true;
}

LxStatus RequestDispatcher::ExecuteLayered(ConfigStore* store, const wire::Request& request, ClientSession* session,
                                           wire::Reply* reply, CommittedRevision* committed) const {
  switch (request.operation) {
    case wire::Operation::kDelete:
      return store->layers().DeleteScope(request.scope(), NoteOf(request, session), committed);
    case wire::Operation::kReset: {
      const LxStatus admitted = AdmitsReset(store, request.scope(), reply);
      if (!admitted.ok() || reply->status != CfgItemStatus::kSuccess) return admitted;
      return store->layers().ResetScope(request.scope(), NoteOf(request, session), committed);
    }
    case wire::Operation::kChanges:
      return store->layers().GetChanges(request.scope(), &reply->records);
    case wire::Operation::kExport:
      if (request.inPieces())
        return store->layers().ExportPiece(request.set, request.section, request.key, wire::kExportPieceBytes,
                                           &reply->records);
      return store->layers().ExportSet(request.set, &reply->records);
    case wire::Operation::kImportCommit: {
      const ImportStaging& staging = session->staging();
      return store->layers().ImportSet(staging.set(), staging.entries(), staging.replace(), NoteOf(request, session),
                                       committed);
    }
    case wire::Operation::kImportPreview: {
      std::vector<wire::Record> current;
      const LxStatus read = store->layers().ExportSet(session->staging().set(), &current);
      if (read.ok()) reply->records = session->staging().Preview(current);
      return read;
    }
    case wire::Operation::kRollback:
    case wire::Operation::kCancel: {
      const LxStatus admitted = AdmitsRollback(store, request, reply);
      if (!admitted.ok() || reply->status != CfgItemStatus::kSuccess) return admitted;
      return HistoryRequests::Execute(store, request, PeerOf(session), reply, committed);
    }
    default:
      if (HistoryRequests::Handles(request.operation))
        return HistoryRequests::Execute(store, request, PeerOf(session), reply, committed);
      return LxStatus::InvalidArgument("unknown operation");
  }
}

LxStatus RequestDispatcher::Execute(ConfigStore* store, const wire::Request& request, ClientSession* session,
                                    wire::Reply* reply, CommittedRevision* committed) const {
  switch (request.operation) {
    case wire::Operation::kGetSets:
      return store->GetSets(&reply->names);
    case wire::Operation::kGetSections:
      return store->GetSections(request.set, &reply->names);
    case wire::Operation::kGetKeysAndValues:
      return store->GetKeysAndValues(request.set, request.section, &reply->pairs);
    case wire::Operation::kGetValue:
      return store->GetValue(request.set, request.section, request.key, &reply->value);
    case wire::Operation::kSetValue:
      return store->SetValue(request.set, request.section, request.key, request.value, NoteOf(request, session),
                             committed);
    default:
      return ExecuteLayered(store, request, session, reply, committed);
  }
}

LxStatus RequestDispatcher::WatchSince(const wire::Request& request, ClientSession* session, wire::Reply* reply) {
  if (feed_ == nullptr) return LxStatus::InvalidArgument("this server publishes no changes");
  if (session->subscribed()) return LxStatus::InvalidArgument("already subscribed");
  // Where it starts, checked as a diff from there would be.
  reply->kind = wire::ReplyKind::kRevisions;
  const std::uint64_t since = request.revision;
  LxStatus status = RunRecoveringOnce(keeper_, "watch-since", [&](ConfigStore* store) {
    LxStatus read = store->revisions().Current(&reply->revision);
    if (read.ok()) read = store->revisions().OldestKept(&reply->oldestKept);
    if (!read.ok() || since == wire::kCurrentRevision) return read;
    std::vector<KeyChange> unused;
    return store->history().Differences(since, since, ConfigScope{}, &unused);
  });
  if (!status.ok()) return status;
  StoreKeeper* keeper = keeper_;
  WatchQueue::History history = [keeper](std::uint64_t from, std::uint64_t* number, std::vector<KeyChange>* changes,
                                         std::uint64_t* current) {
    ConfigStore* store = keeper->store();
    if (store == nullptr) return LxStatus::Unavailable("no database: the last recovery failed");
    LxStatus read = store->revisions().Current(current);
    return read.ok() ? store->history().NextFrom(from, number, changes) : read;
  };
  const std::uint64_t after = since == wire::kCurrentRevision ? reply->revision : since;
  status = session->SubscribeSince(feed_, request.scope(), ReadableBy(session->peer()), std::move(history), after);
  reply->revision = after;
  return status;
}

bool RequestDispatcher::AnswerFrame(const wire::FrameHeader& header, const std::string& body, std::string* reply,
                                    ClientSession* session, CommitWaiter* waiter) {
  wire::Request request;
  LxStatus decoded = wire::DecodeRequestBody(header, body, &request, &decoder_);
  if (!decoded.ok()) {
    __dlog_printf(kDlogWarning, kServerLogSource, "rejected a request that does not decode: %s", decoded.ToString().c_str());
    EncodeReply(ReplyWithStatus(CfgItemStatus::kRejected), header.version, &encoder_, reply);
    return true;
  }
  // The gate first: a write its peer may not make is denied, whatever its
  // values. A value the schemas refuse is answered by Dispatch, never grouped.
  // A write to be confirmed goes alone: the timer follows its commit.
  const PeerCredentials& peer = PeerOf(session);
  if (gate_ != nullptr && !gate_->Permits(request, peer, ImportSetOf(session))) {
    EncodeReply(ReplyWithStatus(CfgItemStatus::kAccessDenied), header.version, &encoder_, reply);
    return true;
  }
  std::string reason;
  if (groupCommit_ != nullptr && waiter != nullptr && request.operation == wire::Operation::kSetValue &&
      request.confirmSeconds == 0 && wire::CheckRequestLimits(request).ok() && AdmitsRequest(request, session, &reason)) {
    groupCommit_->Add(request, peer, header.version, waiter);
    return false;
  }
  wire::Reply answer = Dispatch(request, session);
  if (gate_ != nullptr) gate_->Trim(request, peer, &answer);
  EncodeReply(answer, header.version, &encoder_, reply);
  return true;
}

WatchQueue::SetFilter RequestDispatcher::ReadableBy(const PeerCredentials& peer) const {
  if (gate_ == nullptr) return [](const std::string&) { return true; };
  AccessGate* gate = gate_;
  return [gate, peer](const std::string& set) { return gate->MayRead(peer, set); };
}

void RequestDispatcher::Withdraw(CommitWaiter* waiter) {
  if (groupCommit_ != nullptr) groupCommit_->Withdraw(waiter);
}

}  // namespace qet_cfgserver
