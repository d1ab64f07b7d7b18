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

wire::Reply RequestDispatcher::Dispatch(const wire::Request& request) {
  LxStatus limits = wire::CheckRequestLimits(request);
  if (!limits.ok()) {
    __dlog_printf(kDlogWarning, kServerLogSource, "rejected %s from '%s': %s", wire::OperationName(request.operation),
                  Printable(request.client).c_str(), limits.message().c_str());
    return WithStatus(CfgItemStatus::kRejected);
  }
  if (request.operation == wire::Operation::kSetValue) return Write(request);
  return Read(request);
}

wire::Reply RequestDispatcher::Read(const wire::Request& request) {
  wire::Reply reply;
  LxStatus status;
  switch (request.operation) {
    case wire::Operation::kGetSets:
      status = store_->GetSets(&reply.names);
      break;
    case wire::Operation::kGetSections:
      status = store_->GetSections(request.set, &reply.names);
      break;
    case wire::Operation::kGetKeysAndValues:
      status = store_->GetKeysAndValues(request.set, request.section, &reply.pairs);
      break;
    case wire::Operation::kGetValue:
      status = store_->GetValue(request.set, request.section, request.key, &reply.value);
      if (status.code() == LxStatus::Code::kNotFound) return WithStatus(CfgItemStatus::kKeyNotFound);
      break;
    case wire::Operation::kSetValue:
      return Write(request);
  }
  if (!status.ok()) return StoreFailure(request, status);
  return reply;
}

wire::Reply RequestDispatcher::Write(const wire::Request& request) {
  LxStatus status = store_->SetValue(request.set, request.section, request.key, request.value);
  if (!status.ok()) return StoreFailure(request, status);
  __dlog_printf(kDlogInfo, kServerLogSource, "'%s' (tag '%s') set %s/%s/%s", Printable(request.client).c_str(),
                Printable(request.tag).c_str(), Printable(request.set).c_str(), Printable(request.section).c_str(),
                Printable(request.key).c_str());
  return wire::Reply();
}

std::string RequestDispatcher::AnswerFrame(const wire::FrameHeader& header, const std::string& body) {
  wire::Request request;
  LxStatus decoded = wire::DecodeRequestBody(header, body, &request);
  if (!decoded.ok()) {
    __dlog_printf(kDlogWarning, kServerLogSource, "rejected a request that does not decode: %s", decoded.ToString().c_str());
    return EncodeReply(WithStatus(CfgItemStatus::kRejected));
  }
  return EncodeReply(Dispatch(request));
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
