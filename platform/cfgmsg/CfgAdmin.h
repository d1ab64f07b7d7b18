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

// The server checks every value written (set, import, reset) against the
// schema of its set (cfgserver --schema): a refused write changes nothing,
// is kRejected, and CfgRejectionReason says why.

// SetCfgValue (CfgRequests.h) in protocol version 2, whose rejection carries
// its reason: "15OO is not an integer in 68..9000".
CfgItemStatus::Status SetCfgValueChecked(LxiConfigure& client, const std::string& set, const std::string& section,
                                         const std::string& key, const std::string& value, const std::string& tag);

// ImportCfgSet checked and answered without writing anything: changes gets,
// in (section, key) byte order, the keys the import would add (kAdded,
// value), change (kChanged, value) or, when replace, delete (kDeleted), with
// what a changed or deleted key was in defaultValue. kRejected when a schema
// refuses an entry (CfgRejectionReason names each) or, without a reason,
// when the server has no room for the entries now; kAccessDenied when this
// user may not write set. changes is cleared first.
CfgItemStatus::Status PreviewCfgImport(LxiConfigure& client, const std::string& set,
                                       const std::vector<ConfigEntry>& entries, bool replace,
                                       std::vector<LxCfgChange>& changes, const std::string& tag);

// Why the server rejected client's last request, when it said; empty
// otherwise. An import's reason has one line per refused entry, each led by
// "[section] key: "; all of it at most wire::kMaxReasonBytes (Limits.h).
std::string CfgRejectionReason(const LxiConfigure& client);

}  // namespace qet_cfgserver
