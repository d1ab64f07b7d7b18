#include "requests/ReplyFrame.h"

#include "log/ServerLog.h"

namespace qet_cfgserver {

wire::Reply ReplyWithStatus(CfgItemStatus::Status status) {
  wire::Reply reply;
  reply.status = status;
  return reply;
}

std::string EncodeReply(const wire::Reply& reply, std::uint8_t version) {
  wire::MessageEncoder encoder;
  std::string frame;
  EncodeReply(reply, version, &encoder, &frame);
  return frame;
}

void EncodeReply(const wire::Reply& reply, std::uint8_t version, wire::MessageEncoder* encoder, std::string* frame) {
  LxStatus status = wire::EncodeReplyFrame(reply, frame, version, encoder);
  if (status.ok()) return;
  __dlog_printf(kDlogError, kServerLogSource, "reply not sent: %s", status.ToString().c_str());
  // An empty reply always fits.
  wire::EncodeReplyFrame(ReplyWithStatus(CfgItemStatus::kServerError), frame, version, encoder);
}

}  // namespace qet_cfgserver
