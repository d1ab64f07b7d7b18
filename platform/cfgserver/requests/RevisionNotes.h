#pragma once

#include <string>
#include <vector>

#include "access/PeerCredentials.h"
#include "cfgwire/Messages.h"
#include "common/ConfigTypes.h"
#include "store/RevisionRecords.h"

namespace qet_cfgserver {

// How a request's revision is written into history, and how a changed key
// reaches watchers.

// "set network eth0 mtu": the operation's word, then each name as cfgctl
// writes a word (quoted when it holds a blank, '=' or a control byte).
std::string RevisionSummary(const std::string& operation, const std::vector<std::string>& names);

// The names scope's level gives, for RevisionSummary.
std::vector<std::string> ScopeNames(const ConfigScope& scope);

// The command as cfgctl would say it: "set", or "set --confirm 30" for a
// change to be confirmed.
std::string CommandWords(const wire::Request& request, const std::string& command);

// The note of a write from request by peer: the peer's uid, user name, pid
// and program (unknown for a request made in process), the client's name
// and tag, summary, and whether it awaits confirmation.
ChangeNote NoteFor(const wire::Request& request, const PeerCredentials& peer, std::string summary);

// The notification record of a changed key: kValue with the new value, or
// kDeleted.
wire::Record NotificationOf(const KeyChange& change);

}  // namespace qet_cfgserver
