#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "common/LxStatus.h"
#include "common/RevisionTypes.h"
#include "store/RevisionRecords.h"

namespace qet_cfgserver {

class SqliteStatement;
class StoreDatabase;

// Numbers every committed change of what reads see and keeps the newest
// revisions in table "history" (see StoreSchema): when, who, the summary,
// and each key's value before and after.
//
// The writing calls of the store run Append, then Prune, inside the
// transaction of their change, so a revision and its history commit or
// vanish with the change: after a crash or a power cut the newest kept
// revision is exactly the last committed change. Numbers only grow and are
// never reused: the current revision is the larger of the newest kept and
// the highest in revision_state, which holds the number when history keeps
// none and which a rebuilt database starts from (RaiseTo).
//
// A change noted with confirmSeconds awaits confirmation: revision_state
// holds it (its base, its revision, its deadline) in the same transaction.
// A second one meanwhile keeps the first one's base. While one awaits,
// every revision after its base is kept, whatever the limit, so that it can
// be rolled back (ConfigLayers::CancelPending); Confirm() ends the wait.
//
// Bounded: the newest limit() revisions are kept, the oldest leaving in the
// transaction that goes past the limit; 0 keeps none. To spare the flash
// the rows of those that left are deleted 32 at a time (so the file holds
// at most limit() + 31): they are no longer kept for anyone who asks.
//
// Inside a transaction the log reads its numbers (the newest revision, the
// oldest row, the change awaiting confirmation) once and keeps them as it
// changes them, so that a group of writes does not read them again for each
// write; outside one, every call reads them afresh.
//
// Made and owned by its ConfigStore (ConfigStore::revisions()), on the
// store's connection; the reactor thread's alone.
class RevisionLog {
 public:
  static constexpr std::uint32_t kDefaultLimit = 1000;

  // Prepares the log's statements; ConfigStore::Open does this once.
  static LxStatus Create(StoreDatabase* database, std::unique_ptr<RevisionLog>* log);

  ~RevisionLog();

  RevisionLog(const RevisionLog&) = delete;
  RevisionLog& operator=(const RevisionLog&) = delete;

  // How many revisions history keeps from the next Prune on.
  void SetLimit(std::uint32_t revisions) { limit_ = revisions; }
  std::uint32_t limit() const { return limit_; }

  // The newest revision made; 0 before the first.
  LxStatus Current(std::uint64_t* revision);

  // The oldest revision kept; Current() + 1 when none is.
  LxStatus OldestKept(std::uint64_t* revision);

  // Inside the transaction of a change: records changes (at least one, each
  // key once) as the next revision, stamped with the time now, awaiting
  // confirmation when note says so. *made is its number.
  LxStatus Append(const ChangeNote& note, const std::vector<KeyChange>& changes, std::uint64_t* made);

  // Inside that transaction, after its last Append: the revisions beyond
  // the limit leave, the oldest first.
  LxStatus Prune();

  // The whole history of one change, inside its transaction: Append, then
  // Prune. No changes make no revision (*made stays empty); otherwise
  // *made is the revision with changes.
  LxStatus Record(const ChangeNote& note, std::vector<KeyChange> changes, CommittedRevision* made);

  // The change awaiting confirmation; none when there is none.
  LxStatus Pending(std::optional<PendingConfirmation>* pending);

  // Ends the wait for confirmation, in a transaction of its own; NotFound
  // when no change awaits it.
  LxStatus Confirm();

  // Inside a transaction: no change awaits confirmation any longer (the
  // revisions it kept may leave).
  LxStatus ClearPending();

  // Makes Current() at least revision, in a transaction of its own: a
  // rebuilt database continues after the highest number its sources held.
  LxStatus RaiseTo(std::uint64_t revision);

 private:
  struct Statements;

  // What the log holds, as read in one transaction and kept up to date by
  // the changes it makes in that transaction.
  struct Numbers {
    std::uint64_t transaction = 0;  // StoreDatabase::transactionsBegun() when read
    std::uint64_t current = 0;      // the newest revision made
    std::uint64_t oldestRow = 0;    // the oldest row of history; 0 when it has none
    std::optional<PendingConfirmation> pending;
  };

  explicit RevisionLog(StoreDatabase* database);

  // The numbers kept in the open transaction, or read afresh.
  LxStatus ReadNumbers(Numbers** numbers);
  LxStatus ReadNumber(SqliteStatement* select, std::uint64_t* number);
  LxStatus ReadPending(std::optional<PendingConfirmation>* pending);
  // The oldest revision within the limit when current is the newest.
  std::uint64_t FirstWithinLimit(std::uint64_t current) const;
  // The oldest revision to keep when current is the newest: within the
  // limit, or after a pending change's base.
  std::uint64_t FirstKept(const Numbers& numbers, std::uint64_t current) const;
  LxStatus AwaitConfirmation(Numbers* numbers, std::uint64_t revision, std::uint32_t seconds);
  LxStatus Insert(const ChangeNote& note, const std::vector<KeyChange>& changes, std::uint64_t revision);
  LxStatus SetCounter(std::uint64_t revision);

  StoreDatabase* database_;
  std::unique_ptr<Statements> statements_;
  std::uint32_t limit_ = kDefaultLimit;
  std::optional<Numbers> numbers_;
};

}  // namespace qet_cfgserver
