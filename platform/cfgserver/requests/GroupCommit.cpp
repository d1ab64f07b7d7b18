#include "requests/GroupCommit.h"

#include "log/ServerLog.h"
#include "requests/RequestDispatcher.h"
#include "requests/RevisionNotes.h"

namespace qet_cfgserver {

void GroupCommit::Add(const wire::Request& write, std::uint8_t version, CommitWaiter* waiter) {
  group_.push_back(Write{write, version, waiter});
}

void GroupCommit::Withdraw(CommitWaiter* waiter) {
  for (std::vector<Write>* writes : {&group_, &answering_})
    for (Write& write : *writes)
      if (write.waiter == waiter) write.waiter = nullptr;
}

void GroupCommit::Flush() {
  if (group_.empty()) return;
  answering_.swap(group_);
  group_.clear();
  AnswerAll(Commit(answering_));
  answering_.clear();
}

LxStatus GroupCommit::Commit(const std::vector<Write>& writes) {
  std::vector<ConfigStore::ValueWrite> rows;
  rows.reserve(writes.size());
  for (const Write& write : writes) {
    const wire::Request& request = write.request;
    rows.push_back(ConfigStore::ValueWrite{ConfigRow{request.set, request.section, request.key, request.value},
                                           NoteFor(request, RevisionSummary("set", {request.set, request.section, request.key}))});
  }
  std::vector<CommittedRevision> made;
  ConfigStore* store = keeper_->store();
  LxStatus status = store != nullptr ? store->SetValues(rows, &made) : LxStatus::Unavailable("no database: the last recovery failed");
  // A null store: an earlier recovery failed; this group tries again.
  if (status.code() == LxStatus::Code::kCorruption || keeper_->store() == nullptr) {
    __dlog_printf(kDlogError, kServerLogSource, "%zu writes met a damaged database: %s", writes.size(),
                  status.ToString().c_str());
    if (keeper_->Recover(status).ok()) status = keeper_->store()->SetValues(rows, &made);
  }
  return status;
}

void GroupCommit::AnswerAll(const LxStatus& outcome) {
  wire::Reply reply;
  if (outcome.ok()) {
    Publish();
  } else {
    __dlog_printf(kDlogError, kServerLogSource, "%zu writes failed: %s", answering_.size(), outcome.ToString().c_str());
    reply.status = CfgItemStatus::kServerError;
  }
  // By index: an answer may withdraw waiters of this group (their
  // connections closed) but adds nothing to it.
  for (std::size_t index = 0; index < answering_.size(); ++index) {
    CommitWaiter* waiter = answering_[index].waiter;
    answering_[index].waiter = nullptr;
    if (waiter != nullptr) waiter->Answer(RequestDispatcher::EncodeReply(reply, answering_[index].version));
  }
}

void GroupCommit::Publish() {
  std::vector<wire::Record> committed;
  committed.reserve(answering_.size());
  for (const Write& write : answering_) {
    LogWrite(write.request, 1);
    const wire::Request& request = write.request;
    committed.push_back(wire::Record{wire::RecordKind::kValue, request.set, request.section, request.key, request.value, ""});
  }
  if (feed_ != nullptr) feed_->Publish(committed);
}

}  // namespace qet_cfgserver
