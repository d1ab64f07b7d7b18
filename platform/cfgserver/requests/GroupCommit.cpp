#include "requests/GroupCommit.h"

#include "log/ServerLog.h"
#include "recovery/RunRecoveringOnce.h"
#include "requests/ReplyFrame.h"
#include "requests/RequestLog.h"
#include "requests/RevisionNotes.h"

namespace qet_cfgserver {

void GroupCommit::Add(const wire::Request& write, const PeerCredentials& peer, std::uint8_t version,
                      CommitWaiter* waiter) {
  group_.push_back(Write{write, peer, version, waiter});
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
  committed_.clear();
}

LxStatus GroupCommit::Commit(const std::vector<Write>& writes) {
  std::vector<ConfigStore::ValueWrite> rows;
  rows.reserve(writes.size());
  for (const Write& write : writes) {
    const wire::Request& request = write.request;
    rows.push_back(ConfigStore::ValueWrite{
        ConfigRow{request.set, request.section, request.key, request.value},
        NoteFor(request, write.peer, RevisionSummary("set", {request.set, request.section, request.key}))});
  }
  const std::string what = std::to_string(writes.size()) + " writes";
  return RunRecoveringOnce(keeper_, what.c_str(),
                           [&](ConfigStore* store) { return store->SetValues(rows, &committed_); });
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
    if (waiter != nullptr) waiter->Answer(EncodeReply(reply, answering_[index].version));
  }
}

void GroupCommit::Publish() {
  // The group's log lines in one write() rather than one each, and before
  // any answer: a writer that was answered finds its line logged.
  __dlog_hold();
  for (std::size_t index = 0; index < answering_.size() && index < committed_.size(); ++index) {
    LogWrite(answering_[index].request, answering_[index].peer, 1);
    if (feed_ != nullptr) feed_->Publish(committed_[index]);
  }
  __dlog_release();
}

}  // namespace qet_cfgserver
