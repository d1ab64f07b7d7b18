#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "cfgwire/Messages.h"
#include "common/LxStatus.h"
#include "requests/BudgetHolder.h"

namespace qet_cfgserver {

// One connection's import under way (kImportBegin, kImportEntries...,
// kImportCommit): the entries wait here, in memory, until the commit
// applies them in one transaction, or a preview (kImportPreview) tells what
// the commit would change; either ends the staging.
//
// Bounded: the set is at most wire::kMaxSetBytes as its entries weigh on
// the wire, the bound export gives sets by; and the memory the staging
// takes is charged to the connection's share of the budget before it is
// taken. Entries are kept packed (their lengths and bytes, no object per
// entry), so a staging costs about what its entries weigh on the wire. An
// Add() beyond the set's bound, or one the budget refuses, drops the
// staging; so do Drop() and the destructor (a connection closed, an import
// timed out), giving its bytes back.
//
// Owned by the connection's ClientSession; reactor thread only.
class ImportStaging {
 public:
  // holder may be null: nothing is charged.
  explicit ImportStaging(BudgetHolder* holder = nullptr) : holder_(holder) {}
  ~ImportStaging() { Drop(); }
  ImportStaging(const ImportStaging&) = delete;
  ImportStaging& operator=(const ImportStaging&) = delete;

  // Starts a new staging, dropping one under way.
  void Begin(const std::string& set, bool replace);

  // InvalidArgument, saying why, with the staging dropped, beyond a bound;
  // InvalidArgument without a Begin.
  LxStatus Add(const std::vector<wire::Record>& entries);

  void Drop();

  // What committing the staged entries would change in a set whose
  // effective values are current (an export, in section, key order): in
  // that order, kAdded for a new key (value), kChanged for another value
  // (value), kDeleted for a key a replacing import drops; defaultValue holds
  // what a changed or deleted key was. Costs the staged entries and the set.
  std::vector<wire::Record> Preview(const std::vector<wire::Record>& current) const;

  bool active() const { return active_; }
  const std::string& set() const { return set_; }
  bool replace() const { return replace_; }
  // The staged entries, unpacked for the commit.
  std::vector<ConfigEntry> entries() const;

 private:
  // Room for bytes packed bytes, charged before it is taken.
  bool Reserve(std::size_t bytes);

  BudgetHolder* const holder_;
  bool active_ = false;
  std::string set_;
  bool replace_ = false;
  std::vector<char> packed_;   // per entry: three lengths, then section, key and value
  std::size_t setBytes_ = 0;   // the entries' weight on the wire
};

}  // namespace qet_cfgserver
