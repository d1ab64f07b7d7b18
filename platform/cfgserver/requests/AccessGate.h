#pragma once

#include <string>

#include "access/AccessRules.h"
#include "access/PeerCredentials.h"
#include "access/PerUserWarnings.h"
#include "cfgwire/Messages.h"

namespace qet_cfgserver {

// Decides, request by request, what a connection's peer may do under the
// access rules in force, and trims what it may see:
//   - reading a set (a value, its sections or keys, its export) needs read
//     on it; writing one (set, delete, reset, import) needs write on it, and
//     so does an import's preview; a reset of everything needs write on
//     every set;
//   - changes and watches of one set need read on it (a watch that resumes
//     from history alike: it is told only of sets the peer may read);
//   - listing the sets, and the changes or watch of everything, need read
//     on some set, and then show only the sets the peer may read;
//   - the revision number needs read on some set, the history of one set
//     read on it; the history of everything, a revision shown, a diff (old
//     values of any set), a rollback, a confirm or a cancel, and any change
//     to be confirmed (its rollback may undo any set's later changes), need
//     write on every set.
// A refused request is for the caller to answer kAccessDenied; the refusal
// is logged at WARNING, once per user and burst. The rules are read through
// a pointer, so a reload counts from the next request on. Does not own the
// rules; reactor thread only.
class AccessGate {
 public:
  explicit AccessGate(const AccessRules* rules) : rules_(rules) {}

  AccessGate(const AccessGate&) = delete;
  AccessGate& operator=(const AccessGate&) = delete;

  // Whether peer may make request; importSet is the set an import commit
  // or preview is for (the one its begin named).
  bool Permits(const wire::Request& request, const PeerCredentials& peer, const std::string& importSet);

  // Drops from the reply to request what peer may not read.
  void Trim(const wire::Request& request, const PeerCredentials& peer, wire::Reply* reply) const;

  // Whether peer may read set: what a watch of everything is told.
  bool MayRead(const PeerCredentials& peer, const std::string& set) const { return rules_->MayRead(peer, set); }

 private:
  bool Allows(const wire::Request& request, const PeerCredentials& peer, const std::string& importSet) const;

  const AccessRules* rules_;
  PerUserWarnings warnings_;
};

}  // namespace qet_cfgserver
