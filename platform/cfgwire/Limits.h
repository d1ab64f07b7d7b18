#pragma once

#include <cstddef>
#include <cstdint>

namespace qet_cfgserver {
namespace wire {

// Sizes every party checks before it acts. A request over them is rejected
// and changes nothing. Names are set, section and key names.
constexpr std::size_t kMaxNameBytes = 255;
constexpr std::size_t kMaxValueBytes = 16 * 1024;
constexpr std::size_t kMaxLabelBytes = 64;  // client names and tags
// Why a write was rejected, in a version 2 reply. A pattern rule or an
// import with many bad entries can say more; the rest is cut off.
constexpr std::size_t kMaxReasonBytes = 4096;

// Revisions one history answer lists at most; a client asks again for
// older ones.
constexpr std::uint32_t kMaxRevisionsPerReply = 1000;

// The longest a change may wait for its confirmation: a day.
constexpr std::uint32_t kMaxConfirmSeconds = 86400;

// Largest frame body either side sends or accepts. A listing that would not
// fit is answered with a server error instead.
constexpr std::uint32_t kMaxFrameBodyBytes = 16 * 1024 * 1024;

// Largest set an export gives and an import takes, counted as its entries
// weigh on the wire (RecordWireBytes of Messages.h): what one reply frame
// could carry. One bound both ways, so whatever export gives, import takes
// back.
constexpr std::size_t kMaxSetBytes = kMaxFrameBodyBytes;

}  // namespace wire
}  // namespace qet_cfgserver
