#include "requests/HistoryRequests.h"

#include <tuple>

#include "requests/RevisionNotes.h"

namespace qet_cfgserver {

namespace {

// One piece of changes (in (set, section, key) order): the keys after the
// request's (set, section, key), as many as weigh wire::kExportPieceBytes,
// at least one.
void AddPiece(const std::vector<KeyChange>& changes, const wire::Request& request, wire::Reply* reply) {
  std::size_t bytes = 0;
  for (const KeyChange& change : changes) {
    if (std::tie(change.set, change.section, change.key) <= std::tie(request.set, request.section, request.key))
      continue;
    wire::Record record = wire::RecordOf(change);
    bytes += wire::RecordWireBytes(record);
    if (bytes > wire::kExportPieceBytes && !reply->records.empty()) return;  // the piece is full
    reply->records.push_back(std::move(record));
  }
}

LxStatus Revisions(ConfigStore* store, wire::Reply* reply) {
  LxStatus status = store->revisions().Current(&reply->revision);
  if (status.ok()) status = store->revisions().OldestKept(&reply->oldestKept);
  return status;
}

LxStatus List(ConfigStore* store, const wire::Request& request, wire::Reply* reply) {
  return store->history().List(request.scope(), request.revision, request.count, &reply->revisions);
}

LxStatus Show(ConfigStore* store, const wire::Request& request, wire::Reply* reply) {
  RevisionEntry entry;
  std::vector<KeyChange> changes;
  LxStatus status = store->history().Show(request.revision, &entry, &changes);
  if (!status.ok()) return status;
  reply->revisions.push_back(entry);
  AddPiece(changes, request, reply);
  return status;
}

LxStatus Diff(ConfigStore* store, const wire::Request& request, wire::Reply* reply) {
  const std::uint64_t to = request.otherRevision == wire::kCurrentRevision ? reply->revision : request.otherRevision;
  std::vector<KeyChange> changes;
  LxStatus status = store->history().Differences(request.revision, to, ConfigScope{}, &changes);
  AddPiece(changes, request, reply);
  return status;
}

// The revision a write made, with how many keys it changed (not the keys:
// a rollback may change more than a frame holds); none when it made none.
void AnswerMade(const CommittedRevision& made, wire::Reply* reply) {
  if (made.number == 0) return;
  reply->revision = made.number;
  RevisionEntry entry;
  entry.number = made.number;
  entry.keys = static_cast<std::uint32_t>(made.changes.size());
  reply->revisions.push_back(entry);
}

LxStatus RollBack(ConfigStore* store, const wire::Request& request, const PeerCredentials& peer, wire::Reply* reply,
                  CommittedRevision* made) {
  const ChangeNote note =
      NoteFor(request, peer, RevisionSummary(CommandWords(request, "rollback"), {std::to_string(request.revision)}));
  LxStatus status = store->layers().RollBackTo(request.revision, note, made);
  if (status.ok()) AnswerMade(*made, reply);
  return status;
}

LxStatus Cancel(ConfigStore* store, const wire::Request& request, const PeerCredentials& peer, wire::Reply* reply,
                CommittedRevision* made) {
  LxStatus status = store->layers().CancelPending(NoteFor(request, peer, "cancel"), made);
  if (status.ok()) AnswerMade(*made, reply);
  return status;
}

}  // namespace

bool HistoryRequests::Handles(wire::Operation operation) {
  return operation >= wire::Operation::kRevision && operation <= wire::Operation::kCancel;
}

LxStatus HistoryRequests::Execute(ConfigStore* store, const wire::Request& request, const PeerCredentials& peer,
                                  wire::Reply* reply, CommittedRevision* made) {
  reply->kind = wire::ReplyKind::kRevisions;
  LxStatus status = Revisions(store, reply);
  if (!status.ok()) return status;
  switch (request.operation) {
    case wire::Operation::kRevision:
      return status;
    case wire::Operation::kHistory:
      return List(store, request, reply);
    case wire::Operation::kShowRevision:
      return Show(store, request, reply);
    case wire::Operation::kDiff:
      return Diff(store, request, reply);
    case wire::Operation::kRollback:
      return RollBack(store, request, peer, reply, made);
    case wire::Operation::kConfirm:
      return store->revisions().Confirm();
    case wire::Operation::kCancel:
      return Cancel(store, request, peer, reply, made);
    default:
      return LxStatus::InvalidArgument("not a revision operation");
  }
}

}  // namespace qet_cfgserver
