#include "requests/ConfirmationKeeper.h"

#include <time.h>

#include "log/ServerLog.h"
#include "recovery/RunRecoveringOnce.h"
#include "requests/RevisionNotes.h"

namespace qet_cfgserver {

namespace {

LxStatus ReadPending(StoreKeeper* keeper, std::optional<PendingConfirmation>* pending) {
  return RunRecoveringOnce(keeper, "reading the confirmation",
                           [pending](ConfigStore* store) { return store->revisions().Pending(pending); });
}

}  // namespace

void ConfirmationKeeper::Refresh() {
  std::optional<PendingConfirmation> pending;
  const LxStatus status = ReadPending(keeper_, &pending);
  if (!status.ok())
    __dlog_printf(kDlogError, kServerLogSource, "cannot read the confirmation: %s", status.ToString().c_str());
  arm_(pending ? std::optional<std::int64_t>(pending->deadline) : std::nullopt);
}

void ConfirmationKeeper::Expire() {
  std::optional<PendingConfirmation> pending;
  LxStatus status = ReadPending(keeper_, &pending);
  if (status.ok() && pending && pending->deadline <= time(nullptr)) status = RollBack("not confirmed in time");
  if (status.ok() || status.code() == LxStatus::Code::kNotFound) {
    Refresh();
    return;
  }
  __dlog_printf(kDlogError, kServerLogSource, "cannot roll back a change not confirmed (trying again in %lld s): %s",
                static_cast<long long>(kRetrySeconds), status.ToString().c_str());
  arm_(static_cast<std::int64_t>(time(nullptr)) + kRetrySeconds);
}

LxStatus ConfirmationKeeper::RollBack(const char* why) {
  std::optional<PendingConfirmation> pending;
  CommittedRevision made;
  LxStatus status = RunRecoveringOnce(keeper_, "a rollback of a change not confirmed", [&](ConfigStore* store) {
    made = CommittedRevision();
    LxStatus read = store->revisions().Pending(&pending);
    if (read.ok() && !pending) return LxStatus::NotFound("no change awaits confirmation");
    if (!read.ok()) return read;
    const ChangeNote note{ServerItself(), RevisionSummary("rollback", {std::to_string(pending->base)}) + ": " + why};
    return store->layers().CancelPending(note, &made);
  });
  if (!status.ok()) return status;
  __dlog_printf(kDlogWarning, kServerLogSource,
                "revision %llu and after it %s: rolled back to revision %llu as revision %llu (%zu keys)",
                static_cast<unsigned long long>(pending->revision), why,
                static_cast<unsigned long long>(pending->base), static_cast<unsigned long long>(made.number),
                made.changes.size());
  if (feed_ != nullptr && made.number != 0) feed_->Publish(made);
  return status;
}

}  // namespace qet_cfgserver
