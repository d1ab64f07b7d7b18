#pragma once

#include <cstdint>
#include <string>

#include "cfgwire/CfgItemStatus.h"
#include "cfgwire/Frame.h"
#include "cfgwire/MessageEncoder.h"
#include "cfgwire/Messages.h"

namespace qet_cfgserver {

// A reply that carries a status and nothing else.
wire::Reply ReplyWithStatus(CfgItemStatus::Status status);

// The frame that answers a request of protocol version. A reply over the
// frame limit is logged and becomes an empty kServerError, so every request
// gets an answer.
std::string EncodeReply(const wire::Reply& reply, std::uint8_t version = wire::kFirstProtocolVersion);
// The same with encoder, into *frame: a caller that answers many requests
// keeps both, and encoding then takes nothing from the heap.
void EncodeReply(const wire::Reply& reply, std::uint8_t version, wire::MessageEncoder* encoder, std::string* frame);

}  // namespace qet_cfgserver
