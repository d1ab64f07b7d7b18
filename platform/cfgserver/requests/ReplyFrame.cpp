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
  return EncodeReply(reply, version, &encoder);
}

std::string EncodeReply(const wire::Reply& reply, std::uint8_t version, wire::MessageEncoder* encoder) {
  std::string frame;
  LxStatus status = wire::EncodeReplyFrame(reply, &frame, version, encoder);
  if (status.ok()) return frame;
  __dlog_printf(kDlogError, kServerLogSource, "reply not sent: %s", status.ToString().c_str());
  // An empty reply always fits.
  wire::EncodeReplyFrame(ReplyWithStatus(CfgItemStatus::kServerError), &frame, version, encoder);
  return frame;
}

}  // namespace qet_cfgserver
