#include "RequestDispatcher.h"

#include <stdio.h>

#include "RequestLimits.h"
#include "ServerLog.h"

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

void LogWrite(const wire::Request& write) {
  __dlog_printf(kDlogInfo, kServerLogSource, "'%s' (tag '%s') set %s/%s/%s", Printable(write.client).c_str(),
                Printable(write.tag).c_str(), Printable(write.set).c_str(), Printable(write.section).c_str(),
                Printable(write.key).c_str());
}

wire::Reply RequestDispatcher::Dispatch(const wire::Request& request) {
  LxStatus limits = wire::CheckRequestLimits(request);
  if (!limits.ok()) {
    __dlog_printf(kDlogWarning, kServerLogSource, "rejected %s from '%s': %s", wire::OperationName(request.operation),
                  Printable(request.client).c_str(), limits.message().c_str());
    return WithStatus(CfgItemStatus::kRejected);
  }
  wire::Reply reply;
  LxStatus status = Execute(request, &reply);
  // A null store: an earlier recovery failed; this request tries again.
  if (status.code() == LxStatus::Code::kCorruption || keeper_->store() == nullptr) {
    __dlog_printf(kDlogError, kServerLogSource, "%s met a damaged database: %s", wire::OperationName(request.operation),
                  status.ToString().c_str());
    if (keeper_->Recover(status).ok()) status = Execute(request, &(reply = wire::Reply()));
  }
  if (status.code() == LxStatus::Code::kNotFound) return WithStatus(CfgItemStatus::kKeyNotFound);
  if (!status.ok()) return StoreFailure(request, status);
  if (request.operation == wire::Operation::kSetValue) LogWrite(request);
  return reply;
}

LxStatus RequestDispatcher::Execute(const wire::Request& request, wire::Reply* reply) {
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
    case wire::Operation::kSetValue:
      return store->SetValue(request.set, request.section, request.key, request.value);
  }
  return LxStatus::InvalidArgument("unknown operation");
}

std::optional<std::string> RequestDispatcher::AnswerFrame(const wire::FrameHeader& header, const std::string& body,
                                                          CommitWaiter* waiter) {
  wire::Request request;
  LxStatus decoded = wire::DecodeRequestBody(header, body, &request);
  if (!decoded.ok()) {
    __dlog_printf(kDlogWarning, kServerLogSource, "rejected a request that does not decode: %s", decoded.ToString().c_str());
    return EncodeReply(WithStatus(CfgItemStatus::kRejected));
  }
  if (groupCommit_ != nullptr && request.operation == wire::Operation::kSetValue &&
      wire::CheckRequestLimits(request).ok()) {
    groupCommit_->Add(request, waiter);
    return std::nullopt;
  }
  return EncodeReply(Dispatch(request));
}

void RequestDispatcher::Withdraw(CommitWaiter* waiter) {
  if (groupCommit_ != nullptr) groupCommit_->Withdraw(waiter);
}

std::string RequestDispatcher::EncodeReply(const wire::Reply& reply) {
  std::string frame;
  LxStatus status = wire::EncodeReplyFrame(reply, &frame);
  if (status.ok()) return frame;
  __dlog_printf(kDlogError, kServerLogSource, "reply not sent: %s", status.ToString().c_str());
  // An empty reply always fits.
  wire::EncodeReplyFrame(WithStatus(CfgItemStatus::kServerError), &frame);
  return frame;
}

}  // namespace qet_cfgserver
