#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "cfgwire/Messages.h"
#include "common/LxStatus.h"
#include "store/ConfigStore.h"

namespace qet_cfgserver {

// One connection's import under way (kImportBegin, kImportEntries...,
// kImportCommit): the entries wait here, in memory, until the commit
// applies them in one transaction.
//
// Bounded: one connection stages at most kMaxBytes, all connections
// together at most kMaxTotalBytes (counted in a total that every staging
// of one dispatcher shares). An entry counts its bytes plus kEntryOverhead.
// An Add() beyond either bound drops the staging; so does Drop() and the
// destructor (a connection closed mid-import), giving its bytes back.
//
// Owned by the connection's ClientSession; reactor thread only.
class ImportStaging {
 public:
  static constexpr std::size_t kMaxBytes = 4 * 1024 * 1024;
  static constexpr std::size_t kMaxTotalBytes = 16 * 1024 * 1024;
  static constexpr std::size_t kEntryOverhead = 64;

  ImportStaging() = default;
  ~ImportStaging() { Drop(); }
  ImportStaging(const ImportStaging&) = delete;
  ImportStaging& operator=(const ImportStaging&) = delete;

  // Starts a new staging (dropping one under way); sharedTotal must
  // outlive it.
  void Begin(const std::string& set, bool replace, std::size_t* sharedTotal);

  // InvalidArgument (and the staging dropped) beyond a bound;
  // InvalidArgument without a Begin.
  LxStatus Add(const std::vector<wire::Record>& entries);

  void Drop();

  // What committing the staged entries would change in a set whose
  // effective values are current (an export, in section, key order): in
  // that order, kAdded for a new key (value), kChanged for another value
  // (value), kDeleted for a key a replacing import drops; defaultValue holds
  // what a changed or deleted key was. Costs the staged entries and the set.
  std::vector<wire::Record> Preview(const std::vector<wire::Record>& current) const;

  bool active() const { return sharedTotal_ != nullptr; }
  const std::string& set() const { return set_; }
  bool replace() const { return replace_; }
  const std::vector<ConfigEntry>& entries() const { return entries_; }

 private:
  std::string set_;
  bool replace_ = false;
  std::vector<ConfigEntry> entries_;
  std::size_t bytes_ = 0;
  std::size_t* sharedTotal_ = nullptr;  // null: no import under way
};

}  // namespace qet_cfgserver
