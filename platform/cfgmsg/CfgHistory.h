#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cfgmsg/LxiConfigure.h"
#include "cfgwire/CfgItemStatus.h"
#include "common/RevisionTypes.h"

namespace qet_cfgserver {

// The server's revisions and history, for tools and scripts: every
// committed change of the configuration is a revision, numbered from 1 up,
// kept with who made it, when, and each key before and after, for the
// newest `cfgserver --history` revisions. Same handle, same status labels,
// same threads rule as CfgRequests.h.
//
// A revision that is no longer kept gives kKeyNotFound (GetCfgRevision
// tells the oldest kept); one not made yet kRejected.

// Revisions one GetCfgHistory returns at most.
constexpr std::uint32_t kCfgMaxHistoryPage = 1000;

// For DiffCfgRevisions: the configuration as it is now.
constexpr std::uint64_t kCfgCurrentRevision = ~std::uint64_t{0};

// The newest revision (0 before the first) and the oldest kept (current + 1
// when none is).
CfgItemStatus::Status GetCfgRevision(LxiConfigure& client, std::uint64_t& current, std::uint64_t& oldestKept,
                                     const std::string& tag);

// The kept revisions that changed a key within scope, newest first: at
// most count (up to kCfgMaxHistoryPage), older than before (0: from the
// newest on).
// revisions is cleared first.
CfgItemStatus::Status GetCfgHistory(LxiConfigure& client, const ConfigScope& scope, std::uint64_t before,
                                    std::uint32_t count, std::vector<RevisionEntry>& revisions,
                                    const std::string& tag);

// One revision and every key it changed, in (set, section, key) order.
CfgItemStatus::Status ShowCfgRevision(LxiConfigure& client, std::uint64_t revision, RevisionEntry& entry,
                                      std::vector<KeyChange>& changes, const std::string& tag);

// The keys whose value at revision from differs from their value at to
// (kCfgCurrentRevision: now): before at from, after at to.
CfgItemStatus::Status DiffCfgRevisions(LxiConfigure& client, std::uint64_t from, std::uint64_t to,
                                       std::vector<KeyChange>& changes, const std::string& tag);

// Every key changed after revision returns to its value then (deleted when
// it did not exist), as one new revision: made (0 when nothing differed,
// and then no revision was made).
CfgItemStatus::Status RollbackCfg(LxiConfigure& client, std::uint64_t revision, std::uint64_t& made,
                                  const std::string& tag, std::uint32_t confirmSeconds = 0);

// Confirmed changes. A change made with confirmSeconds (1 to 86400; here,
// RollbackCfg, and DeleteCfg, ImportCfgSet, ResetCfg of CfgAdmin.h) is
// applied at once and rolled back by the server unless ConfirmCfg arrives
// within that many seconds; the server keeps the wait in its database, so
// a crash, a power cut or a restart rolls it back before anything is
// served. Changes made while one waits (by anyone) are rolled back with it.
// A second change to be confirmed meanwhile takes the wait over: its
// deadline counts, and confirming or cancelling covers both.

// SetCfgValue, to be confirmed within confirmSeconds.
CfgItemStatus::Status SetCfgValueToConfirm(LxiConfigure& client, const std::string& set, const std::string& section,
                                           const std::string& key, const std::string& value,
                                           std::uint32_t confirmSeconds, const std::string& tag);

// The change awaiting confirmation stays. kKeyNotFound when none awaits.
CfgItemStatus::Status ConfirmCfg(LxiConfigure& client, const std::string& tag);

// The change awaiting confirmation, and every change after it, is rolled
// back now, as one revision: made (0 when nothing differed). kKeyNotFound
// when none awaits.
CfgItemStatus::Status CancelCfg(LxiConfigure& client, std::uint64_t& made, const std::string& tag);

}  // namespace qet_cfgserver
