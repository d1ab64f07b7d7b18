#pragma once

#include "access/PeerCredentials.h"
#include "cfgwire/Messages.h"
#include "common/LxStatus.h"
#include "store/ConfigStore.h"

namespace qet_cfgserver {

// The answers to the revision operations (kRevision, kHistory,
// kShowRevision, kDiff, kRollback, kConfirm, kCancel) from the store's
// history. A confirm or cancel with nothing awaiting confirmation is
// NotFound. Every answer is of kind kRevisions and carries the current
// revision and the oldest kept (a rollback's and a cancel's: the revision
// it made, listed with how many keys it changed). A show and a diff answer
// one piece of their keys (see wire::Operation), so no answer outgrows a
// piece but a history's, bounded by wire::kMaxRevisionsPerReply. A revision
// that is no longer kept is NotFound, one not made yet InvalidArgument. A
// rollback is a write: *made is what it committed. Stateless; the reactor
// thread calls it.
class HistoryRequests {
 public:
  static bool Handles(wire::Operation operation);

  // A change's revision is noted with peer.
  static LxStatus Execute(ConfigStore* store, const wire::Request& request, const PeerCredentials& peer,
                          wire::Reply* reply, CommittedRevision* made);
};

}  // namespace qet_cfgserver
