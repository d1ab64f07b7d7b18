#include "requests/RequestDispatcher.h"

#include <stdio.h>

#include "cfgwire/RequestLimits.h"
#include "log/ServerLog.h"
#include "requests/RevisionNotes.h"

namespace qet_cfgserver {

namespace {

constexpr std::size_t kMaxPrintableBytes = 80;

wire::Reply WithStatus(CfgItemStatus::Status status) {
  wire::Reply reply;
  reply.status = status;
  return reply;
}

wire::Reply StoreFailure(const wire::Request& request, const LxStatus& status) {
  __dlog_printf(kDlogError, kServerLogSource, "%s failed: %s", wire::OperationName(request.operation),
                status.ToString().c_str());
  return WithStatus(CfgItemStatus::kServerError);
}

ConfigScope ScopeOf(const wire::Request& request) {
  return ConfigScope{static_cast<ConfigScope::Level>(request.command), request.set, request.section, request.key};
}

bool IsWrite(wire::Operation operation) {
  return operation == wire::Operation::kSetValue || operation == wire::Operation::kDelete ||
         operation == wire::Operation::kReset || operation == wire::Operation::kImportCommit;
}

}  // namespace

std::string Printable(const std::string& bytes) {
  std::string text;
  for (std::size_t index = 0; index < bytes.size() && index < kMaxPrintableBytes; ++index) {
    const unsigned char byte = static_cast<unsigned char>(bytes[index]);
    if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
      text += static_cast<char>(byte);
      continue;
    }
    char escaped[8];
    snprintf(escaped, sizeof escaped, "\\x%02x", byte);
    text += escaped;
  }
  if (bytes.size() > kMaxPrintableBytes) text += "...";
  return text;
}

void LogWrite(const wire::Request& write, std::size_t keysChanged) {
  __dlog_printf(kDlogInfo, kServerLogSource, "'%s' (tag '%s') %s %s/%s/%s: %zu keys changed",
                Printable(write.client).c_str(), Printable(write.tag).c_str(), wire::OperationName(write.operation),
                Printable(write.set).c_str(), Printable(write.section).c_str(), Printable(write.key).c_str(),
                keysChanged);
}

wire::Reply RequestDispatcher::Dispatch(const wire::Request& request, ClientSession* session) {
  LxStatus limits = wire::CheckRequestLimits(request);
  if (limits.ok() && session == nullptr &&
      (request.operation == wire::Operation::kSubscribe || request.operation == wire::Operation::kImportBegin ||
       request.operation == wire::Operation::kImportEntries || request.operation == wire::Operation::kImportCommit))
    limits = LxStatus::InvalidArgument("the operation needs a connection");
  if (!limits.ok()) {
    if (session != nullptr && request.operation == wire::Operation::kImportEntries) session->staging().Drop();
    __dlog_printf(kDlogWarning, kServerLogSource, "rejected %s from '%s': %s", wire::OperationName(request.operation),
                  Printable(request.client).c_str(), limits.message().c_str());
    return WithStatus(CfgItemStatus::kRejected);
  }
  wire::Reply reply;
  if (HandleSessionOperation(request, session, &reply)) return reply;
  session_ = session;
  LxStatus status = Execute(request, &reply);
  // A null store: an earlier recovery failed; this request tries again.
  if (status.code() == LxStatus::Code::kCorruption || keeper_->store() == nullptr) {
    __dlog_printf(kDlogError, kServerLogSource, "%s met a damaged database: %s", wire::OperationName(request.operation),
                  status.ToString().c_str());
    if (keeper_->Recover(status).ok()) status = Execute(request, &(reply = wire::Reply()));
  }
  if (request.operation == wire::Operation::kImportCommit) session->staging().Drop();
  session_ = nullptr;
  if (status.code() == LxStatus::Code::kNotFound) return WithStatus(CfgItemStatus::kKeyNotFound);
  if (!status.ok()) return StoreFailure(request, status);
  if (feed_ != nullptr && !committed_.empty()) feed_->Publish(committed_);
  if (IsWrite(request.operation)) LogWrite(request, committed_.size());
  committed_.clear();
  return reply;
}

bool RequestDispatcher::HandleSessionOperation(const wire::Request& request, ClientSession* session,
                                               wire::Reply* reply) {
  LxStatus status;
  switch (request.operation) {
    case wire::Operation::kImportBegin:
      session->staging().Begin(request.set, request.command == 1, &stagedBytes_);
      break;
    case wire::Operation::kImportEntries:
      status = session->staging().Add(request.entries);
      break;
    case wire::Operation::kImportCommit:
      if (!session->staging().active()) status = LxStatus::InvalidArgument("a commit without an import under way");
      break;
    case wire::Operation::kSubscribe:
      if (feed_ == nullptr) status = LxStatus::InvalidArgument("this server publishes no changes");
      else if (!session->Subscribe(feed_, ScopeOf(request))) status = LxStatus::InvalidArgument("already subscribed");
      break;
    default:
      return false;
  }
  if (status.ok() && request.operation == wire::Operation::kImportCommit) return false;  // the store's turn
  if (!status.ok())
    __dlog_printf(kDlogWarning, kServerLogSource, "rejected %s from '%s': %s", wire::OperationName(request.operation),
                  Printable(request.client).c_str(), status.message().c_str());
  reply->status = status.ok() ? CfgItemStatus::kSuccess : CfgItemStatus::kRejected;
  return true;
}

LxStatus RequestDispatcher::ExecuteLayered(ConfigStore* store, const wire::Request& request, wire::Reply* reply) {
  const ConfigScope scope = ScopeOf(request);
  CommittedRevision made;
  LxStatus status;
  switch (request.operation) {
    case wire::Operation::kDelete:
      status = store->layers().DeleteScope(scope, NoteFor(request, RevisionSummary("delete", ScopeNames(scope))), &made);
      break;
    case wire::Operation::kReset:
      status = store->layers().ResetScope(scope, NoteFor(request, RevisionSummary("reset", ScopeNames(scope))), &made);
      break;
    case wire::Operation::kChanges:
      return store->layers().GetChanges(scope, &reply->records);
    case wire::Operation::kExport:
      return store->layers().ExportSet(request.set, &reply->records);
    case wire::Operation::kImportCommit: {
      const ImportStaging& staging = session_->staging();
      const std::string summary = RevisionSummary(staging.replace() ? "import --replace" : "import", {staging.set()});
      status = store->layers().ImportSet(staging.set(), staging.entries(), staging.replace(), NoteFor(request, summary),
                                         &made);
      break;
    }
    default:
      return LxStatus::InvalidArgument("unknown operation");
  }
  if (status.ok()) committed_ = NotificationsOf(made);
  return status;
}

LxStatus RequestDispatcher::Execute(const wire::Request& request, wire::Reply* reply) {
  committed_.clear();
  ConfigStore* store = keeper_->store();
  if (store == nullptr) return LxStatus::Unavailable("no database: the last recovery failed");
  switch (request.operation) {
    case wire::Operation::kGetSets:
      return store->GetSets(&reply->names);
    case wire::Operation::kGetSections:
      return store->GetSections(request.set, &reply->names);
    case wire::Operation::kGetKeysAndValues:
      return store->GetKeysAndValues(request.set, request.section, &reply->pairs);
    case wire::Operation::kGetValue:
      return store->GetValue(request.set, request.section, request.key, &reply->value);
    case wire::Operation::kSetValue: {
      CommittedRevision made;
      const ChangeNote note = NoteFor(request, RevisionSummary("set", {request.set, request.section, request.key}));
      LxStatus status = store->SetValue(request.set, request.section, request.key, request.value, note, &made);
      if (status.ok()) committed_ = NotificationsOf(made);
      return status;
    }
    default:
      return ExecuteLayered(store, request, reply);
  }
}

std::optional<std::string> RequestDispatcher::AnswerFrame(const wire::FrameHeader& header, const std::string& body,
                                                          ClientSession* session, CommitWaiter* waiter) {
  wire::Request request;
  LxStatus decoded = wire::DecodeRequestBody(header, body, &request);
  if (!decoded.ok()) {
    __dlog_printf(kDlogWarning, kServerLogSource, "rejected a request that does not decode: %s", decoded.ToString().c_str());
    return EncodeReply(WithStatus(CfgItemStatus::kRejected), header.version);
  }
  if (groupCommit_ != nullptr && waiter != nullptr && request.operation == wire::Operation::kSetValue &&
      wire::CheckRequestLimits(request).ok()) {
    groupCommit_->Add(request, header.version, waiter);
    return std::nullopt;
  }
  return EncodeReply(Dispatch(request, session), header.version);
}

void RequestDispatcher::Withdraw(CommitWaiter* waiter) {
  if (groupCommit_ != nullptr) groupCommit_->Withdraw(waiter);
}

std::string RequestDispatcher::EncodeReply(const wire::Reply& reply, std::uint8_t version) {
  std::string frame;
  LxStatus status = wire::EncodeReplyFrame(reply, &frame, version);
  if (status.ok()) return frame;
  __dlog_printf(kDlogError, kServerLogSource, "reply not sent: %s", status.ToString().c_str());
  // An empty reply always fits.
  wire::EncodeReplyFrame(WithStatus(CfgItemStatus::kServerError), &frame, version);
  return frame;
}

}  // namespace qet_cfgserver
