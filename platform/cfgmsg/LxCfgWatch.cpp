#include "cfgmsg/LxCfgWatch.h"

#include <ace/LSOCK_Stream.h>
#include <ace/OS_NS_errno.h>
#include <sys/socket.h>

#include <mutex>

#include "cfgmsg/LxIpcClient.h"
#include "cfgmsg/ServerConnector.h"
#include "cfgwire/Messages.h"
#include "cfgwire/RequestLimits.h"
#include "cfgwire/RuntimeDirectory.h"

namespace qet_cfgserver {

namespace {

constexpr std::size_t kReadChunkBytes = 16 * 1024;

}  // namespace

// The watch's socket. Next() reads it on its one thread; Close() shuts it
// down from any thread, which wakes a blocked read. The descriptor itself
// is closed only by the destructor, so it is never reused under a reader.
class LxCfgWatch::Connection {
 public:
  ~Connection() { stream_.close(); }

  CfgItemStatus::Status Connect(const std::string& socketPath, LxStatus* why) {
    const ServerConnector::Result result = ServerConnector::Connect(socketPath, LxIpcClient::kDefaultTimeout, &stream_, why);
    const bool refusedHere = result == ServerConnector::Result::kPermissionDenied ||
                             result == ServerConnector::Result::kUntrusted;
    if (!refusedHere) *why = LxStatus::Ok();
    return ServerConnector::StatusFor(result);
  }

  CfgItemStatus::Status Send(const std::string& frame) {
    ACE_Time_Value timeout = LxIpcClient::kDefaultTimeout;
    if (stream_.send_n(frame.data(), frame.size(), MSG_NOSIGNAL, &timeout) == static_cast<ssize_t>(frame.size()))
      return CfgItemStatus::kSuccess;
    return ACE_OS::last_error() == ETIME ? CfgItemStatus::kTimeout : CfgItemStatus::kNoServer;
  }

  // The next frame, decoded; waits up to timeout for its bytes.
  CfgItemStatus::Status Receive(wire::Reply* reply, const ACE_Time_Value& timeout) {
    const ACE_Time_Value deadline = ACE_OS::gettimeofday() + timeout;
    for (;;) {
      wire::FrameHeader header;
      std::string body;
      LxStatus error;
      const wire::FrameAssembler::Result result = assembler_.Next(&header, &body, &error);
      if (result == wire::FrameAssembler::Result::kBadFrame) return Fail(CfgItemStatus::kServerError);
      if (result == wire::FrameAssembler::Result::kFrame)
        return wire::DecodeReplyBody(header, body, reply).ok() ? CfgItemStatus::kSuccess
                                                               : Fail(CfgItemStatus::kServerError);
      if (closed()) return CfgItemStatus::kNoServer;
      ACE_Time_Value left = deadline - ACE_OS::gettimeofday();
      if (left < ACE_Time_Value::zero) left = ACE_Time_Value::zero;
      char chunk[kReadChunkBytes];
      const ssize_t received = stream_.recv(chunk, sizeof chunk, &left);
      if (received > 0) {
        assembler_.Append(chunk, static_cast<std::size_t>(received));
        continue;
      }
      if (received < 0 && ACE_OS::last_error() == ETIME) return CfgItemStatus::kTimeout;
      return Fail(CfgItemStatus::kNoServer);
    }
  }

  void Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return;
    closed_ = true;
    ACE_OS::shutdown(stream_.get_handle(), SHUT_RDWR);
  }

 private:
  bool closed() {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
  }

  CfgItemStatus::Status Fail(CfgItemStatus::Status status) {
    Close();
    return status;
  }

  ACE_LSOCK_Stream stream_;
  wire::FrameAssembler assembler_{wire::kMaxFrameBodyBytes};
  std::mutex mutex_;  // guards closed_ and the shutdown
  bool closed_ = false;
};

LxCfgWatch::LxCfgWatch(std::unique_ptr<Connection> connection) : connection_(std::move(connection)) {}

LxCfgWatch::~LxCfgWatch() = default;

bool LxCfgWatch::SocketOf(const std::string& endpointName, std::string* socketPath) {
  return wire::EndpointPath(wire::DefaultRuntimeDirectory(), endpointName, socketPath).ok();
}

std::unique_ptr<LxCfgWatch> LxCfgWatch::Open(const std::string& clientName, const std::string& endpointName,
                                             const ConfigScope& scope, CfgItemStatus::Status* status,
                                             LxStatus* problem) {
  std::string socketPath;
  if (!SocketOf(endpointName, &socketPath)) {
    if (status != nullptr) *status = CfgItemStatus::kNoServer;
    return nullptr;
  }
  return OpenAt(clientName, socketPath, scope, status, problem);
}

std::unique_ptr<LxCfgWatch> LxCfgWatch::OpenAt(const std::string& clientName, const std::string& socketPath,
                                               const ConfigScope& scope, CfgItemStatus::Status* status,
                                               LxStatus* problem) {
  wire::Request request;
  request.operation = wire::Operation::kSubscribe;
  request.client = clientName;
  request.SetScope(scope);
  return Subscribe(socketPath, request, wire::ReplyKind::kAnswer, status, problem);
}

std::unique_ptr<LxCfgWatch> LxCfgWatch::OpenSince(const std::string& clientName, const std::string& endpointName,
                                                  const ConfigScope& scope, std::uint64_t since,
                                                  CfgItemStatus::Status* status, LxStatus* problem) {
  std::string socketPath;
  if (!SocketOf(endpointName, &socketPath)) {
    if (status != nullptr) *status = CfgItemStatus::kNoServer;
    return nullptr;
  }
  return OpenSinceAt(clientName, socketPath, scope, since, status, problem);
}

std::unique_ptr<LxCfgWatch> LxCfgWatch::OpenSinceAt(const std::string& clientName, const std::string& socketPath,
                                                    const ConfigScope& scope, std::uint64_t since,
                                                    CfgItemStatus::Status* status, LxStatus* problem) {
  wire::Request request;
  request.operation = wire::Operation::kWatchSince;
  request.client = clientName;
  request.SetScope(scope);
  request.revision = since == kCfgCurrentRevision ? wire::kCurrentRevision : since;
  return Subscribe(socketPath, request, wire::ReplyKind::kRevisions, status, problem);
}

std::unique_ptr<LxCfgWatch> LxCfgWatch::Subscribe(const std::string& socketPath, const wire::Request& request,
                                                  wire::ReplyKind answered, CfgItemStatus::Status* status,
                                                  LxStatus* problem) {
  CfgItemStatus::Status ignored;
  if (status == nullptr) status = &ignored;
  LxStatus unexplained;
  if (problem == nullptr) problem = &unexplained;
  std::string frame;
  if (!wire::CheckRequestLimits(request).ok() || !wire::EncodeRequestFrame(request, &frame).ok()) {
    *status = CfgItemStatus::kRejected;
    return nullptr;
  }
  auto connection = std::make_unique<Connection>();
  *status = connection->Connect(socketPath, problem);
  if (*status == CfgItemStatus::kSuccess) *status = connection->Send(frame);
  wire::Reply reply;
  if (*status == CfgItemStatus::kSuccess) *status = connection->Receive(&reply, LxIpcClient::kDefaultTimeout);
  // A refusal comes as a plain answer; a subscription as answered.
  if (*status == CfgItemStatus::kSuccess) *status = reply.status;
  if (*status == CfgItemStatus::kSuccess && reply.kind != answered) *status = CfgItemStatus::kServerError;
  if (*status != CfgItemStatus::kSuccess) return nullptr;
  return std::unique_ptr<LxCfgWatch>(new LxCfgWatch(std::move(connection)));
}

CfgItemStatus::Status LxCfgWatch::Next(Event* event, const ACE_Time_Value& timeout) {
  wire::Reply reply;
  const CfgItemStatus::Status status = connection_->Receive(&reply, timeout);
  if (status != CfgItemStatus::kSuccess) return status;
  if (reply.kind == wire::ReplyKind::kMissed) {
    *event = Event();
    event->kind = Event::Kind::kMissed;
    event->missed = reply.missed;
    return status;
  }
  const bool change = reply.kind == wire::ReplyKind::kNotification || reply.kind == wire::ReplyKind::kChange;
  if (!change || reply.records.size() != 1) {
    connection_->Close();
    return CfgItemStatus::kServerError;
  }
  const wire::Record& record = reply.records.front();
  event->revision = reply.kind == wire::ReplyKind::kChange ? reply.revision : 0;
  event->kind = record.kind == wire::RecordKind::kDeleted ? Event::Kind::kDeleted : Event::Kind::kSet;
  event->set = record.set;
  event->section = record.section;
  event->key = record.key;
  event->value = record.value;
  event->missed = 0;
  return status;
}

void LxCfgWatch::Close() { connection_->Close(); }

}  // namespace qet_cfgserver
