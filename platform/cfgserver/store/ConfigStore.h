#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cfgwire/Messages.h"
#include "common/ConfigTypes.h"
#include "common/LxStatus.h"
#include "store/ConfigLayers.h"
#include "store/HistoryReader.h"
#include "store/RecoveryWriter.h"
#include "store/RevisionLog.h"
#include "store/RevisionRecords.h"

namespace qet_cfgserver {

class StoreDatabase;
class ValueCache;

// The configuration kept in an SQLite database: set -> section -> key ->
// value, all byte strings, any byte allowed. Every column a BLOB, so
// listings come back in plain ascending byte order.
//
// One database, its jobs one class each, all on one connection:
//   ConfigStore     opens it; reads and writes values (the hot path);
//   ConfigLayers    the factory defaults beside the effective values
//                   (layers()): defaults imports, the operator's changes,
//                   scoped delete and reset, a set's import and export;
//   RevisionLog     numbers every change of what reads see and keeps the
//                   newest revisions with their keys (revisions());
//   HistoryReader   reads those revisions back (history());
//   RecoveryWriter  what recovery adds to a database it rebuilds
//                   (recovery());
//   DatabaseCopy    the consistent copy that snapshots are made of.
// The connection, the schema and SQLite itself stay behind them (store/ and
// recovery/ alone reach <sqlite3.h>). Every statement is prepared once, at
// Open.
//
// Durability: WAL journal with synchronous=FULL, and every write call is a
// committed transaction before it returns, so a write that returned
// OK survives a crash of the process or a power cut. Each write that
// changes what reads see commits its revision and history with it. The database is
// locked exclusively while open: one store, one process.
//
// Failures come back as LxStatus: Corruption when SQLite finds the file
// damaged (SQLITE_CORRUPT, SQLITE_NOTADB, or a failed quick_check at Open),
// Unavailable when another process holds the database or its schema is
// newer than this server's or it refuses writes (RefuseWrites), IoError
// otherwise.
//
// Not thread-safe: the server's single reactor thread owns it (through its
// StoreKeeper), parts included.
class ConfigStore {
 public:
  // Settles how SQLite runs in this process: without its memory statistics,
  // which nothing here reads and which take a global mutex around each of
  // its allocations (about a dozen per write). Has effect only before the
  // process's first use of SQLite: main() calls it first thing. A process
  // that does not runs the same, a little slower.
  static void PrepareLibrary();

  // Opens (creating if needed) the database at path and runs PRAGMA
  // quick_check before anything is written to it. The parent directory
  // must exist. vfs names a registered SQLite VFS (tests inject faults
  // through one); null means SQLite's default.
  static LxStatus Open(const std::string& path, std::unique_ptr<ConfigStore>* store, const char* vfs = nullptr);

  // A store held in memory alone, for a server that cannot write its
  // database file: nothing in it outlives the store.
  static LxStatus OpenInMemory(std::unique_ptr<ConfigStore>* store);

  ~ConfigStore();

  ConfigStore(const ConfigStore&) = delete;
  ConfigStore& operator=(const ConfigStore&) = delete;

  // Distinct set names.
  LxStatus GetSets(std::vector<std::string>* sets);
  // Section names of set; empty for an unknown set.
  LxStatus GetSections(const std::string& set, std::vector<std::string>* sections);
  // Keys and values of set/section in key order; empty when unknown.
  LxStatus GetKeysAndValues(const std::string& set, const std::string& section, std::vector<wire::KeyValue>* pairs);
  // NotFound when the key does not exist. Answered from memory (ValueCache)
  // while the database has not changed since the key was last read.
  LxStatus GetValue(const std::string& set, const std::string& section, const std::string& key, std::string* value);

  // Inserts or replaces one value, creating the set, section and key: a
  // revision of its own, even when the value was the same (someone wrote
  // it), noted with note. *made: the revision and the key, before and after.
  LxStatus SetValue(const std::string& set, const std::string& section, const std::string& key,
                    const std::string& value, const ChangeNote& note, CommittedRevision* made);

  // One value and who wrote it, for SetValues.
  struct ValueWrite {
    ConfigRow row;
    ChangeNote note;
  };
  // Inserts or replaces every value in one transaction, in order (a later
  // write of the same key wins), each a revision of its own in that order:
  // one sync for all. *made gets one revision per write. On failure none is
  // kept and *made is empty.
  LxStatus SetValues(const std::vector<ValueWrite>& writes, std::vector<CommittedRevision>* made);

  // The store's other jobs; each lives as long as the store.
  ConfigLayers& layers() { return *layers_; }
  RevisionLog& revisions() { return *revisions_; }
  HistoryReader& history() { return *history_; }
  RecoveryWriter& recovery() { return *recovery_; }

  // Rows changed through this store since it was opened, either layer;
  // tells whether a snapshot would differ from the last one.
  std::uint64_t changes() const;
  // Of those, the rows of config (what reads see).
  std::uint64_t configChanges() const;

  // From now on every write fails with Unavailable and changes nothing;
  // reads go on.
  LxStatus RefuseWrites();

  // Closing will leave the write-ahead log as it is instead of copying it
  // into the database file: a damaged file is not written again.
  void LeaveLogOnClose();

 private:
  struct Statements;
  friend class DatabaseCopy;  // copies the connection's pages

  explicit ConfigStore(std::unique_ptr<StoreDatabase> database);

  // The schema, then every statement of the store and its parts.
  LxStatus Prepare();
  // Inside a transaction: writes one value and records its revision.
  LxStatus WriteValue(const ValueWrite& write, CommittedRevision* made);

  // Declared first, so closed last: after every statement on it.
  std::unique_ptr<StoreDatabase> database_;
  std::unique_ptr<Statements> statements_;
  std::unique_ptr<RevisionLog> revisions_;
  std::unique_ptr<HistoryReader> history_;
  std::unique_ptr<ConfigLayers> layers_;
  std::unique_ptr<RecoveryWriter> recovery_;
  std::unique_ptr<ValueCache> values_;
};

}  // namespace qet_cfgserver
