#pragma once

#include <optional>
#include <string>

#include "CommitWaiter.h"
#include "GroupCommit.h"
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
//   - A write inserts or replaces, and is committed before the reply. With
//     a GroupCommit, AnswerFrame() hands writes within the limits to it, to
//     be committed with others and answered through their waiter.
//   - A store failure gives kServerError; so does a reply too big for one
//     frame (then with empty contents).
//   - A request that meets a damaged database (Corruption) has the keeper
//     recover it and is then carried out once more, on the rebuilt store:
//     the client gets the answer the recovered data gives, and a write is
//     acknowledged only once it is committed there. A second failure gives
//     kServerError.
// The command code and tag are not interpreted, only logged with writes.
// Does not own the keeper. Not thread-safe: the reactor thread calls it.
class RequestDispatcher {
 public:
  // groupCommit may be null: every write is then its own transaction.
  explicit RequestDispatcher(StoreKeeper* keeper, GroupCommit* groupCommit = nullptr)
      : keeper_(keeper), groupCommit_(groupCommit) {}

  wire::Reply Dispatch(const wire::Request& request);

  // The reply frame for one received request frame: decodes the body (one
  // that does not decode is answered kRejected), dispatches, encodes. None
  // when the request is a write handed to the group commit, which answers
  // waiter once the write is committed.
  std::optional<std::string> AnswerFrame(const wire::FrameHeader& header, const std::string& body,
                                         CommitWaiter* waiter);

  // waiter, going away, is not to be answered.
  void Withdraw(CommitWaiter* waiter);

  // Encodes reply; a reply over the frame limit becomes an empty kServerError.
  static std::string EncodeReply(const wire::Reply& reply);

 private:
  // Carries request out on the current store, filling reply.
  LxStatus Execute(const wire::Request& request, wire::Reply* reply);

  StoreKeeper* keeper_;
  GroupCommit* groupCommit_;
};

// Bytes made fit for a log line: printable ASCII as is, the rest as \xNN,
// cut after a bounded length.
std::string Printable(const std::string& bytes);

// Logs a committed write: who, with which tag, which key.
void LogWrite(const wire::Request& write);

}  // namespace qet_cfgserver
