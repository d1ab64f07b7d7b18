#include "store/RevisionLog.h"

#include <time.h>

#include <algorithm>

#include "store/KeyChangeCodec.h"
#include "store/StoreDatabase.h"

namespace qet_cfgserver {

namespace {

constexpr const char* kSelectCurrent =
    "SELECT max(coalesce((SELECT max(revision) FROM history), 0),"
    " coalesce((SELECT max(highest) FROM revision_state), 0))";
constexpr const char* kSelectOldest = "SELECT min(revision) FROM history";
// Revisions past the limit are deleted this many at a time: one page of
// history changed now and then, rather than its first page at every write.
// Until then they are kept but no longer shown (OldestKept()).
constexpr std::uint64_t kPruneBatch = 32;
constexpr const char* kInsertRevision =
    "INSERT INTO history (revision, time, uid, user_name, pid, program, client, tag, summary, keys, changes)"
    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)";
constexpr const char* kDeleteBefore = "DELETE FROM history WHERE revision < ?1";
constexpr const char* kUpdateCounter = "UPDATE revision_state SET highest = ?1";
constexpr const char* kSelectPending =
    "SELECT confirm_base, confirm_revision, confirm_deadline FROM revision_state WHERE confirm_revision IS NOT NULL";
constexpr const char* kUpdatePending =
    "UPDATE revision_state SET confirm_base = ?1, confirm_revision = ?2, confirm_deadline = ?3";
constexpr const char* kClearPending =
    "UPDATE revision_state SET confirm_base = NULL, confirm_revision = NULL, confirm_deadline = NULL";

// Unknown uids and pids are stored as NULL.
void BindKnown(SqliteStatement* statement, int index, std::uint32_t number, std::uint32_t unknown) {
  if (number == unknown) statement->BindNull(index);
  else statement->BindInt(index, number);
}

}  // namespace

struct RevisionLog::Statements {
  SqliteStatement selectCurrent;
  SqliteStatement selectOldest;
  SqliteStatement insertRevision;
  SqliteStatement deleteBefore;
  SqliteStatement updateCounter;
  SqliteStatement selectPending;
  SqliteStatement updatePending;
  SqliteStatement clearPending;
};

RevisionLog::RevisionLog(StoreDatabase* database) : database_(database), statements_(new Statements) {}

RevisionLog::~RevisionLog() = default;

LxStatus RevisionLog::Create(StoreDatabase* database, std::unique_ptr<RevisionLog>* log) {
  std::unique_ptr<RevisionLog> created(new RevisionLog(database));
  Statements* statements = created->statements_.get();
  const struct {
    SqliteStatement* statement;
    const char* sql;
  } texts[] = {
      {&statements->selectCurrent, kSelectCurrent}, {&statements->selectOldest, kSelectOldest},
      {&statements->insertRevision, kInsertRevision},
      {&statements->deleteBefore, kDeleteBefore},       {&statements->updateCounter, kUpdateCounter},
      {&statements->selectPending, kSelectPending},     {&statements->updatePending, kUpdatePending},
      {&statements->clearPending, kClearPending},
  };
  for (const auto& text : texts) {
    LxStatus status = database->Prepare(text.statement, text.sql);
    if (!status.ok()) return status;
  }
  *log = std::move(created);
  return LxStatus::Ok();
}

LxStatus RevisionLog::ReadNumbers(Numbers** numbers) {
  const std::uint64_t transaction = database_->transactionsBegun();
  // Kept numbers hold only within their transaction: a rollback undoes them.
  if (!numbers_ || numbers_->transaction != transaction || !database_->inTransaction()) {
    Numbers read;
    read.transaction = transaction;
    LxStatus status = ReadNumber(&statements_->selectCurrent, &read.current);
    if (status.ok()) status = ReadNumber(&statements_->selectOldest, &read.oldestRow);
    if (status.ok()) status = ReadPending(&read.pending);
    numbers_.reset();
    if (!status.ok()) return status;
    numbers_ = read;
  }
  *numbers = &*numbers_;
  return LxStatus::Ok();
}

LxStatus RevisionLog::ReadNumber(SqliteStatement* select, std::uint64_t* number) {
  std::int64_t found = 0;
  LxStatus status = database_->Query(select, "cannot read the revision",
                                     [&found](const SqliteStatement& row) { found = row.ColumnInt(0); });
  if (status.ok()) *number = found > 0 ? static_cast<std::uint64_t>(found) : 0;
  return status;
}

LxStatus RevisionLog::ReadPending(std::optional<PendingConfirmation>* pending) {
  pending->reset();
  return database_->Query(&statements_->selectPending, "cannot read the confirmation",
                          [pending](const SqliteStatement& row) {
                            *pending = PendingConfirmation{static_cast<std::uint64_t>(row.ColumnInt(0)),
                                                           static_cast<std::uint64_t>(row.ColumnInt(1)),
                                                           row.ColumnInt(2)};
                          });
}

LxStatus RevisionLog::Current(std::uint64_t* revision) {
  Numbers* numbers = nullptr;
  LxStatus status = ReadNumbers(&numbers);
  if (status.ok()) *revision = numbers->current;
  return status;
}

LxStatus RevisionLog::OldestKept(std::uint64_t* revision) {
  Numbers* numbers = nullptr;
  LxStatus status = ReadNumbers(&numbers);
  if (!status.ok()) return status;
  // The rows run without a gap up to the current revision, or there are
  // none (a database rebuilt, or history kept none).
  const std::uint64_t oldestRow = numbers->oldestRow != 0 ? numbers->oldestRow : numbers->current + 1;
  *revision = std::max(oldestRow, FirstKept(*numbers, numbers->current));
  return status;
}

std::uint64_t RevisionLog::FirstWithinLimit(std::uint64_t current) const {
  return current >= limit_ ? current - limit_ + 1 : 1;
}

std::uint64_t RevisionLog::FirstKept(const Numbers& numbers, std::uint64_t current) const {
  const std::uint64_t first = FirstWithinLimit(current);
  // What a rollback of the pending change needs stays, whatever the limit.
  return numbers.pending ? std::min(first, numbers.pending->base + 1) : first;
}

LxStatus RevisionLog::Pending(std::optional<PendingConfirmation>* pending) {
  Numbers* numbers = nullptr;
  LxStatus status = ReadNumbers(&numbers);
  *pending = status.ok() ? numbers->pending : std::nullopt;
  return status;
}

LxStatus RevisionLog::AwaitConfirmation(Numbers* numbers, std::uint64_t revision, std::uint32_t seconds) {
  // One already pending keeps its base: a rollback undoes them all.
  const PendingConfirmation awaited{numbers->pending ? numbers->pending->base : revision - 1, revision,
                                    static_cast<std::int64_t>(time(nullptr)) + seconds};
  statements_->updatePending.BindInt(1, static_cast<std::int64_t>(awaited.base));
  statements_->updatePending.BindInt(2, static_cast<std::int64_t>(awaited.revision));
  statements_->updatePending.BindInt(3, awaited.deadline);
  LxStatus status = database_->Run(&statements_->updatePending, "cannot record the confirmation");
  if (status.ok()) numbers->pending = awaited;
  return status;
}

LxStatus RevisionLog::ClearPending() {
  Numbers* numbers = nullptr;
  LxStatus status = ReadNumbers(&numbers);
  if (status.ok()) status = database_->Run(&statements_->clearPending, "cannot clear the confirmation");
  if (!status.ok()) return status;
  numbers->pending.reset();
  return Prune();
}

LxStatus RevisionLog::Confirm() {
  return database_->InTransaction("cannot commit the confirmation", [this]() {
    std::optional<PendingConfirmation> pending;
    LxStatus status = Pending(&pending);
    if (status.ok() && !pending) return LxStatus::NotFound("no change awaits confirmation");
    if (status.ok()) status = ClearPending();
    return status;
  });
}

LxStatus RevisionLog::Append(const ChangeNote& note, const std::vector<KeyChange>& changes, std::uint64_t* made) {
  Numbers* numbers = nullptr;
  LxStatus status = ReadNumbers(&numbers);
  if (!status.ok()) return status;
  const std::uint64_t revision = numbers->current + 1;
  if (note.confirmSeconds > 0) status = AwaitConfirmation(numbers, revision, note.confirmSeconds);
  // Without history the counter carries the number; also when history
  // holds it only while a confirmation is pending.
  if (status.ok() && limit_ == 0) status = SetCounter(revision);
  const bool kept = revision >= FirstKept(*numbers, revision);
  if (status.ok() && kept) status = Insert(note, changes, revision);
  if (!status.ok()) {
    numbers_.reset();  // what failed may have been half done
    return status;
  }
  numbers->current = revision;
  if (kept && numbers->oldestRow == 0) numbers->oldestRow = revision;
  *made = revision;
  return status;
}

LxStatus RevisionLog::Insert(const ChangeNote& note, const std::vector<KeyChange>& changes, std::uint64_t revision) {
  SqliteStatement* insert = &statements_->insertRevision;
  insert->BindInt(1, static_cast<std::int64_t>(revision));
  insert->BindInt(2, static_cast<std::int64_t>(time(nullptr)));
  BindKnown(insert, 3, note.author.uid, ChangeAuthor::kUnknownUser);
  insert->BindBlob(4, note.author.userName);
  BindKnown(insert, 5, note.author.pid, ChangeAuthor::kUnknownProcess);
  insert->BindBlob(6, note.author.program);
  insert->BindBlob(7, note.author.client);
  insert->BindBlob(8, note.author.tag);
  insert->BindBlob(9, note.summary);
  insert->BindInt(10, static_cast<std::int64_t>(changes.size()));
  const std::string packed = KeyChangeCodec::Encode(changes);
  insert->BindBlob(11, packed);
  return database_->Run(insert, "cannot record the revision");
}

LxStatus RevisionLog::Prune() {
  Numbers* numbers = nullptr;
  LxStatus status = ReadNumbers(&numbers);
  if (!status.ok()) return status;
  const std::uint64_t oldest = numbers->oldestRow;
  const std::uint64_t first = FirstKept(*numbers, numbers->current);
  if (oldest == 0 || oldest >= first || (limit_ > 0 && oldest + kPruneBatch > first)) return status;
  statements_->deleteBefore.BindInt(1, static_cast<std::int64_t>(first));
  status = database_->Run(&statements_->deleteBefore, "cannot prune the history");
  // Rare (once in kPruneBatch revisions): the oldest row left is read.
  if (status.ok()) status = ReadNumber(&statements_->selectOldest, &numbers->oldestRow);
  if (!status.ok()) numbers_.reset();
  return status;
}

LxStatus RevisionLog::Record(const ChangeNote& note, std::vector<KeyChange> changes, CommittedRevision* made) {
  if (changes.empty()) return LxStatus::Ok();
  std::uint64_t number = 0;
  LxStatus status = Append(note, changes, &number);
  if (status.ok()) status = Prune();
  if (!status.ok()) return status;
  made->number = number;
  made->changes = std::move(changes);
  return status;
}

LxStatus RevisionLog::SetCounter(std::uint64_t revision) {
  statements_->updateCounter.BindInt(1, static_cast<std::int64_t>(revision));
  return database_->Run(&statements_->updateCounter, "cannot count the revision");
}

LxStatus RevisionLog::RaiseTo(std::uint64_t revision) {
  return database_->InTransaction("cannot commit the revision number", [&]() {
    Numbers* numbers = nullptr;
    LxStatus status = ReadNumbers(&numbers);
    if (!status.ok() || numbers->current >= revision) return status;
    status = SetCounter(revision);
    if (status.ok()) numbers->current = revision;
    else numbers_.reset();
    return status;
  });
}

}  // namespace qet_cfgserver
