#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "ChangeFeed.h"
#include "ClientSession.h"
#include "StoreKeeper.h"
#include "Frame.h"
#include "Messages.h"

namespace qet_cfgserver {

// Turns requests into replies against a ConfigStore; knows nothing of
// sockets. Rules:
//   - A request over the limits of wire::CheckRequestLimits (or a write
//     without set, section or key) is kRejected and changes nothing.
//   - Listings and reads of unknown sets/sections give empty lists and
//     kSuccess; a missing key gives kKeyNotFound with an empty value.
//   - A write inserts or replaces, and is committed before the reply.
//   - A store failure gives kServerError; so does a reply too big for one
//     frame (then with empty contents).
//   - A request that meets a damaged database (Corruption) has the keeper
//     recover it and is then carried out once more, on the rebuilt store:
//     the client gets the answer the recovered data gives, and a write is
//     acknowledged only once it is committed there. A second failure gives
//     kServerError.
//   - Version 2 operations: delete, reset and import commit change the
//     layers (ConfigStore); a delete that matches nothing is kKeyNotFound.
//     Imports and subscriptions keep state in the connection's
//     ClientSession; without one (or on a second subscribe, or entries
//     without a begin, or staging over its bounds) they are kRejected.
//   - Every commit that changed keys is published to the ChangeFeed in one
//     call right after it succeeded, v1 writes included.
// The command code and tag are not interpreted, only logged with writes.
// Does not own the keeper; owns the feed. Not thread-safe: the reactor
// thread calls it.
class RequestDispatcher {
 public:
  explicit RequestDispatcher(StoreKeeper* keeper) : keeper_(keeper) {}

  wire::Reply Dispatch(const wire::Request& request, ClientSession* session = nullptr);

  // The reply frame for one received request frame: decodes the body (one
  // that does not decode, an unknown operation included, is answered
  // kRejected), dispatches, encodes in the request's version.
  std::string AnswerFrame(const wire::FrameHeader& header, const std::string& body, ClientSession* session = nullptr);

  // Encodes reply; a reply over the frame limit becomes an empty kServerError.
  static std::string EncodeReply(const wire::Reply& reply, std::uint8_t version = wire::kFirstProtocolVersion);

  ChangeFeed* feed() { return &feed_; }

 private:
  // Carries request out on the current store, filling reply.
  // Fills committed_ with what a write changed.
  LxStatus Execute(const wire::Request& request, wire::Reply* reply);
  LxStatus ExecuteLayered(ConfigStore* store, const wire::Request& request, wire::Reply* reply);
  // The operations that act on the session alone; true when request was one.
  bool HandleSessionOperation(const wire::Request& request, ClientSession* session, wire::Reply* reply);

  StoreKeeper* keeper_;
  ChangeFeed feed_;
  ClientSession* session_ = nullptr;     // of the request under way
  std::vector<wire::Record> committed_;  // what the request under way changed
  std::size_t stagedBytes_ = 0;          // over every connection's ImportStaging
};

// Bytes made fit for a log line: printable ASCII as is, the rest as \xNN,
// cut after a bounded length.
std::string Printable(const std::string& bytes);

}  // namespace qet_cfgserver
