#include "store/HistoryReader.h"

#include <algorithm>
#include <limits>
#include <map>
#include <tuple>
#include <utility>

#include "store/KeyChangeCodec.h"
#include "store/RevisionLog.h"
#include "store/StoreDatabase.h"

namespace qet_cfgserver {

namespace {

// Newest first; the packed keys only where a scope must look into them.
constexpr const char* kListAll =
    "SELECT revision, time, uid, user_name, pid, program, client, tag, summary, keys FROM history"
    " WHERE revision >= ?1 AND revision < ?2 ORDER BY revision DESC";
constexpr const char* kListWithKeys =
    "SELECT revision, time, uid, user_name, pid, program, client, tag, summary, keys, changes FROM history"
    " WHERE revision >= ?1 AND revision < ?2 ORDER BY revision DESC";
constexpr const char* kShow =
    "SELECT revision, time, uid, user_name, pid, program, client, tag, summary, keys, changes FROM history"
    " WHERE revision = ?1";
constexpr const char* kSelectNext =
    "SELECT revision, changes FROM history WHERE revision >= ?1 ORDER BY revision LIMIT 1";
constexpr const char* kSelectRange = "SELECT changes FROM history WHERE revision > ?1 AND revision <= ?2 ORDER BY revision";

constexpr int kChangesColumn = 10;

std::uint32_t KnownOr(const SqliteStatement& row, int column, std::uint32_t unknown) {
  return row.ColumnIsNull(column) ? unknown : static_cast<std::uint32_t>(row.ColumnInt(column));
}

// revision, time, uid, user_name, pid, program, client, tag, summary, keys.
RevisionEntry EntryOf(const SqliteStatement& row) {
  RevisionEntry entry;
  entry.number = static_cast<std::uint64_t>(row.ColumnInt(0));
  entry.time = row.ColumnInt(1);
  entry.author.uid = KnownOr(row, 2, ChangeAuthor::kUnknownUser);
  entry.author.userName = row.ColumnBlob(3);
  entry.author.pid = KnownOr(row, 4, ChangeAuthor::kUnknownProcess);
  entry.author.program = row.ColumnBlob(5);
  entry.author.client = row.ColumnBlob(6);
  entry.author.tag = row.ColumnBlob(7);
  entry.summary = row.ColumnBlob(8);
  entry.keys = static_cast<std::uint32_t>(row.ColumnInt(9));
  return entry;
}

bool Touches(const std::vector<KeyChange>& changes, const ConfigScope& scope) {
  for (const KeyChange& change : changes)
    if (scope.Covers(change.set, change.section, change.key)) return true;
  return false;
}

LxStatus UnknownLevel(const ConfigScope& scope) {
  return LxStatus::InvalidArgument("unknown scope level " + std::to_string(static_cast<std::uint32_t>(scope.level)));
}

bool KnownLevel(const ConfigScope& scope) { return scope.level <= ConfigScope::Level::kKey; }

}  // namespace

struct HistoryReader::Statements {
  SqliteStatement listAll;
  SqliteStatement listWithKeys;
  SqliteStatement show;
  SqliteStatement selectRange;
  SqliteStatement selectNext;
};

HistoryReader::HistoryReader(StoreDatabase* database, RevisionLog* log)
    : database_(database), log_(log), statements_(new Statements) {}

HistoryReader::~HistoryReader() = default;

LxStatus HistoryReader::Create(StoreDatabase* database, RevisionLog* log, std::unique_ptr<HistoryReader>* reader) {
  std::unique_ptr<HistoryReader> created(new HistoryReader(database, log));
  Statements* statements = created->statements_.get();
  const struct {
    SqliteStatement* statement;
    const char* sql;
  } texts[] = {{&statements->listAll, kListAll},
               {&statements->listWithKeys, kListWithKeys},
               {&statements->show, kShow},
               {&statements->selectRange, kSelectRange},
               {&statements->selectNext, kSelectNext}};
  for (const auto& text : texts) {
    LxStatus status = database->Prepare(text.statement, text.sql);
    if (!status.ok()) return status;
  }
  *reader = std::move(created);
  return LxStatus::Ok();
}

LxStatus HistoryReader::List(const ConfigScope& scope, std::uint64_t before, std::uint32_t limit,
                             std::vector<RevisionEntry>* entries) {
  if (!KnownLevel(scope)) return UnknownLevel(scope);
  const bool everything = scope.level == ConfigScope::Level::kAll;
  SqliteStatement* list = everything ? &statements_->listAll : &statements_->listWithKeys;
  std::uint64_t oldest = 0;
  LxStatus kept = log_->OldestKept(&oldest);
  if (!kept.ok()) return kept;
  list->BindInt(1, static_cast<std::int64_t>(oldest));
  const std::uint64_t newest = std::numeric_limits<std::int64_t>::max();
  list->BindInt(2, static_cast<std::int64_t>(before == 0 || before > newest ? newest : before));
  std::size_t listed = 0;
  LxStatus damage;
  // Stepped by hand: the walk stops at the limit.
  int result = SQLITE_DONE;
  while (listed < limit && (result = list->Step()) == SQLITE_ROW) {
    if (!everything) {
      std::vector<KeyChange> changes;
      damage = KeyChangeCodec::Decode(list->ColumnBlob(kChangesColumn), &changes);
      if (!damage.ok()) break;
      if (!Touches(changes, scope)) continue;
    }
    entries->push_back(EntryOf(*list));
    ++listed;
  }
  const bool failed = listed < limit && damage.ok() && result != SQLITE_DONE;
  LxStatus status = failed ? database_->Failure("cannot read the history") : damage;
  list->Reset();
  return status;
}

LxStatus HistoryReader::Show(std::uint64_t number, RevisionEntry* entry, std::vector<KeyChange>* changes) {
  std::uint64_t oldest = 0;
  LxStatus kept = log_->OldestKept(&oldest);
  if (!kept.ok()) return kept;
  if (number < oldest) return LxStatus::NotFound("revision " + std::to_string(number) + " is not kept");
  bool found = false;
  std::string packed;
  statements_->show.BindInt(1, static_cast<std::int64_t>(number));
  LxStatus status = database_->Query(&statements_->show, "cannot read the revision", [&](const SqliteStatement& row) {
    *entry = EntryOf(row);
    packed = row.ColumnBlob(kChangesColumn);
    found = true;
  });
  if (!status.ok()) return status;
  if (!found) return LxStatus::NotFound("revision " + std::to_string(number) + " is not kept");
  return KeyChangeCodec::Decode(packed, changes);
}

LxStatus HistoryReader::NextFrom(std::uint64_t from, std::uint64_t* number, std::vector<KeyChange>* changes) {
  std::uint64_t oldest = 0;
  LxStatus status = log_->OldestKept(&oldest);
  if (!status.ok()) return status;
  bool found = false;
  std::string packed;
  statements_->selectNext.BindInt(1, static_cast<std::int64_t>(std::max(from, oldest)));
  status = database_->Query(&statements_->selectNext, "cannot read the history", [&](const SqliteStatement& row) {
    *number = static_cast<std::uint64_t>(row.ColumnInt(0));
    packed = row.ColumnBlob(1);
    found = true;
  });
  if (!status.ok()) return status;
  if (!found) return LxStatus::NotFound("no revision kept from " + std::to_string(from) + " on");
  return KeyChangeCodec::Decode(packed, changes);
}

LxStatus HistoryReader::CheckFollowedByKept(std::uint64_t number) {
  std::uint64_t current = 0, oldest = 0;
  LxStatus status = log_->Current(&current);
  if (status.ok()) status = log_->OldestKept(&oldest);
  if (!status.ok()) return status;
  if (number > current)
    return LxStatus::InvalidArgument("revision " + std::to_string(number) + " is not made yet (the current one is " +
                                     std::to_string(current) + ")");
  // What a revision held is known from the revisions after it.
  if (number + 1 >= oldest || number == current) return LxStatus::Ok();
  if (oldest > current)
    return LxStatus::NotFound("revision " + std::to_string(number) + " is no longer kept (no history is kept)");
  return LxStatus::NotFound("revision " + std::to_string(number) + " is no longer kept (the oldest kept is " +
                            std::to_string(oldest) + ")");
}

LxStatus HistoryReader::Differences(std::uint64_t from, std::uint64_t to, const ConfigScope& scope,
                                    std::vector<KeyChange>* changes) {
  if (!KnownLevel(scope)) return UnknownLevel(scope);
  const bool forwards = from <= to;
  const std::uint64_t lower = forwards ? from : to, upper = forwards ? to : from;
  // One not made yet is the plainer mistake: said first.
  LxStatus status = CheckFollowedByKept(upper);
  if (status.ok()) status = CheckFollowedByKept(lower);
  if (!status.ok()) return status;

  // The value at lower is the before of a key's first change after it, the
  // value at upper the after of its last change up to it.
  using Name = std::tuple<std::string, std::string, std::string>;
  std::map<Name, KeyChange> folded;
  SqliteStatement* select = &statements_->selectRange;
  select->BindInt(1, static_cast<std::int64_t>(lower));
  select->BindInt(2, static_cast<std::int64_t>(upper));
  LxStatus damage;
  status = database_->Query(select, "cannot read the history", [&](const SqliteStatement& row) {
    std::vector<KeyChange> revision;
    if (damage.ok()) damage = KeyChangeCodec::Decode(row.ColumnBlob(0), &revision);
    for (KeyChange& change : revision) {
      if (!scope.Covers(change.set, change.section, change.key)) continue;
      const auto [entry, first] = folded.try_emplace(Name{change.set, change.section, change.key}, change);
      if (!first) entry->second.after = std::move(change.after);
    }
  });
  if (status.ok()) status = damage;
  if (!status.ok()) return status;
  for (auto& entry : folded) {
    KeyChange& change = entry.second;
    if (change.before == change.after) continue;
    if (!forwards) std::swap(change.before, change.after);
    changes->push_back(std::move(change));
  }
  return status;
}

}  // namespace qet_cfgserver
