#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "access/PeerCredentials.h"
#include "cfgwire/Frame.h"
#include "cfgwire/MessageDecoder.h"
#include "cfgwire/MessageEncoder.h"
#include "cfgwire/Messages.h"
#include "common/LxStatus.h"
#include "recovery/StoreKeeper.h"
#include "requests/AccessGate.h"
#include "requests/ChangeFeed.h"
#include "requests/ClientSession.h"
#include "requests/CommitWaiter.h"
#include "requests/ConfirmationKeeper.h"
#include "requests/GroupCommit.h"
#include "schema/SchemaSet.h"

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
//     recover it and is then carried out once more, on the rebuilt store
//     (RunRecoveringOnce): the client gets the answer the recovered data
//     gives, and a write is acknowledged only once it is committed there.
//     A second failure gives kServerError.
//   - Version 2 operations: delete, reset and import commit change the
//     layers (ConfigStore); a delete that matches nothing is kKeyNotFound.
//     Imports and subscriptions keep state in the connection's
//     ClientSession; without one (or on a second subscribe or one past the
//     watchers' limit, or entries without a begin, or staging over its
//     bounds) they are kRejected. An export asked for in pieces
//     (wire::Request::inPieces()) is answered one piece at a time.
//   - The revision operations are HistoryRequests': a revision no longer
//     kept is kKeyNotFound, one not made yet kRejected; a rollback and a
//     cancel are writes like the others. After a change to be confirmed, a
//     confirm or a cancel, the ConfirmationKeeper is told (Refresh); a write
//     to be confirmed never joins a group commit.
//   - Every commit that changed keys is published to the ChangeFeed in one
//     call right after it succeeded, v1 writes included.
//   - With schemas, a write of values (set, import commit) whose values
//     a schema refuses is kRejected with the reasons, before anything is
//     written (Admits): nothing of it changes. An import preview is checked
//     the same, and answers records of what its commit would change
//     (ImportStaging::Preview), writing nothing. A reset, a rollback or a
//     cancel that would bring back a value its schema refuses today is
//     kRejected too (a default or an old value stored under an older
//     schema). The rollback of a change not confirmed in time is the
//     ConfirmationKeeper's and is never refused: it must undo a change
//     that may have cut the device off.
//   - With a GroupCommit, a write of one value (kSetValue) within the limits
//     that comes with a waiter is handed to it: the group commit answers
//     and publishes it once its group is committed.
//   - With an AccessGate, a request frame the connection's peer may not
//     make is answered kAccessDenied and changes nothing; listings show,
//     and watches are told of, only the sets the peer may read. The gate
//     comes before the schemas: a write its peer may not make is denied,
//     never rejected with a reason that would tell of the set's rules.
// The version 1 request code is not interpreted; the tag is only logged
// with writes.
// Owns neither the keeper, the feed, the group commit, the gate nor the
// schemas. Not thread-safe: the reactor thread calls it.
class RequestDispatcher {
 public:
  // Without a feed nothing is published and subscriptions are rejected;
  // without a group commit every write is its own transaction; without a
  // gate every request is allowed; without schemas every value is free;
  // without a confirmation keeper a change to be confirmed is not rolled
  // back before the next start.
  explicit RequestDispatcher(StoreKeeper* keeper, ChangeFeed* feed = nullptr, GroupCommit* groupCommit = nullptr,
                             AccessGate* gate = nullptr, const SchemaSet* schemas = nullptr,
                             ConfirmationKeeper* confirmations = nullptr)
      : keeper_(keeper),
        feed_(feed),
        groupCommit_(groupCommit),
        gate_(gate),
        schemas_(schemas),
        confirmations_(confirmations) {}

  wire::Reply Dispatch(const wire::Request& request, ClientSession* session = nullptr);

  // The reply frame for one received request frame, into *reply (whose
  // buffer the caller may keep for the next): decodes the body (one that
  // does not decode, an unknown operation included, is answered kRejected),
  // dispatches, encodes in the request's version. False, with *reply
  // untouched, when the request is a write handed to the group commit,
  // which answers waiter once the write is committed.
  bool AnswerFrame(const wire::FrameHeader& header, const std::string& body, std::string* reply,
                   ClientSession* session = nullptr, CommitWaiter* waiter = nullptr);

  // waiter, going away, is not to be answered.
  void Withdraw(CommitWaiter* waiter);

 private:
  // Dispatch's work, on the one reply it returns: a listing's is big, and
  // every request's is worth not copying.
  void Answer(const wire::Request& request, ClientSession* session, wire::Reply* reply);
  // Carries request out on store, into *reply (for the client, when the
  // outcome is ok) and *committed (what a write changed, for the feed),
  // both as new; session holds an import being committed.
  LxStatus Execute(ConfigStore* store, const wire::Request& request, ClientSession* session, wire::Reply* reply,
                   CommittedRevision* committed) const;
  LxStatus ExecuteLayered(ConfigStore* store, const wire::Request& request, ClientSession* session,
                          wire::Reply* reply, CommittedRevision* committed) const;
  // The one place where values about to be written meet the schemas (a
  // new path that writes values checks through it): true when every entry
  // may be stored in set; else *reason says why, one line per refused entry,
  // each led by "[section] key: " when nameEntries, at most about
  // wire::kMaxReasonBytes.
  bool Admits(const std::string& set, const std::vector<ConfigEntry>& entries, bool nameEntries,
              std::string* reason) const;
  // Admits for what request would write; true for requests that write no
  // values of their own.
  bool AdmitsRequest(const wire::Request& request, ClientSession* session, std::string* reason) const;
  // Admits for the defaults a reset of scope would bring back: *reply
  // becomes a kRejected with the reason when one is refused (a default
  // stored under an older schema).
  LxStatus AdmitsReset(ConfigStore* store, const ConfigScope& scope, wire::Reply* reply) const;
  // Admits for the values a rollback (to request's revision) or a cancel
  // (to the base of what awaits confirmation) would bring back, alike.
  LxStatus AdmitsRollback(ConfigStore* store, const wire::Request& request, wire::Reply* reply) const;
  // The sets whose changes a watch of peer is told.
  WatchQueue::SetFilter ReadableBy(const PeerCredentials& peer) const;
  // The operations that act on the session alone; true when request was one.
  bool HandleSessionOperation(const wire::Request& request, ClientSession* session, wire::Reply* reply);
  // kWatchSince: subscribes session to every change after the revision it
  // names (answered with it, of kind kRevisions), reading history first.
  // NotFound when history no longer holds what followed it;
  // InvalidArgument when it is not made yet, or session already watches.
  LxStatus WatchSince(const wire::Request& request, ClientSession* session, wire::Reply* reply);

  StoreKeeper* keeper_;
  ChangeFeed* feed_;
  GroupCommit* groupCommit_;
  AccessGate* gate_;
  const SchemaSet* schemas_;
  ConfirmationKeeper* confirmations_;
  // Set up once, for every request and reply frame.
  wire::MessageDecoder decoder_;
  wire::MessageEncoder encoder_;
};

}  // namespace qet_cfgserver
