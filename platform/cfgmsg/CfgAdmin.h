#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cfgmsg/CfgAdminTypes.h"
#include "cfgmsg/LxiConfigure.h"
#include "cfgwire/CfgItemStatus.h"

namespace qet_cfgserver {

// The operations beside the five requests of CfgRequests.h, for tools and
// scripts: delete, export, import, what differs from the factory defaults,
// and back to them. Same handle, same status labels, same threads rule
// (one request at a time per handle). Each is one transaction on the
// server: it happens completely or not at all. The changes (delete, import,
// reset) take confirmSeconds: not 0, the change is rolled back unless
// confirmed in time (see CfgHistory.h).
//
// The server keeps two layers: the factory defaults (what `cfgserver
// --import` loads) and the operator's changes on top. Reads see the
// operator's value where there is one, else the default.

// Deletes a key, a section or a whole set (scope level kAll is rejected).
// A deleted key that has a default stays hidden until ResetCfg.
// kKeyNotFound when nothing matched (nothing changed).
CfgItemStatus::Status DeleteCfg(LxiConfigure& client, const ConfigScope& scope, const std::string& tag,
                                std::uint32_t confirmSeconds = 0);

// Every key of the set with its effective value, keys ascending within
// sections ascending (byte order). An unknown set gives kSuccess and no
// entries; a set over wire::kMaxSetBytes, kRejected. The set comes in
// pieces, so a write during the export may show in part. entries is
// cleared first; left empty on failure.
CfgItemStatus::Status ExportCfgSet(LxiConfigure& client, const std::string& set, std::vector<ConfigEntry>& entries,
                                   const std::string& tag);

// Writes the entries into the set in one transaction, as the operator's
// values. replace: the set then holds exactly these entries (keys not among
// them are deleted). The entries may span several frames. A set over
// wire::kMaxSetBytes (what an export may give, see Limits.h) is kRejected
// before anything is sent, and so is an import the server cannot hold
// now (its client memory is full), changing nothing. A repeated key keeps
// its last value. Every entry is checked against the limits of Limits.h
// first.
CfgItemStatus::Status ImportCfgSet(LxiConfigure& client, const std::string& set,
                                   const std::vector<ConfigEntry>& entries, bool replace, const std::string& tag,
                                   std::uint32_t confirmSeconds = 0);

// The keys within scope where the operator's layer differs from the
// defaults, in (set, section, key) byte order. changes is cleared first.
CfgItemStatus::Status GetCfgChanges(LxiConfigure& client, const ConfigScope& scope,
                                    std::vector<LxCfgChange>& changes, const std::string& tag);

// Whether the server would take an import into set from this client, asked
// without changing anything: kSuccess, or kAccessDenied when its rules do
// not let this user write the set (or why the question went unanswered).
// A tool importing several sets asks for each first, so that an import
// touching a set it may not write writes nothing at all.
CfgItemStatus::Status CheckCfgSetWritable(LxiConfigure& client, const std::string& set, const std::string& tag);

// Drops the operator's changes within scope: the keys there become exactly
// the defaults (deleted defaults come back, added keys go).
CfgItemStatus::Status ResetCfg(LxiConfigure& client, const ConfigScope& scope, const std::string& tag,
                               std::uint32_t confirmSeconds = 0);

}  // namespace qet_cfgserver
