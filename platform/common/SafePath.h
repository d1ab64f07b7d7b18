#pragma once

#include <sys/types.h>

#include <string>

#include "common/LxStatus.h"

namespace qet_cfgserver {

// Whether a path can be trusted by user: could anyone but user and root
// have planted what it names, or change it? In the manner of OpenSSH's
// StrictModes. Clients check the server's runtime directory before they
// connect, so they never talk to a socket someone else put there; the
// server checks its runtime directory, database directory and database
// files before it uses them.
//
// The rules, for the path itself:
//   - A symbolic link is followed only when root or user owns it (at most
//     kMaxSymbolicLinks in a row); a link anyone else owns is refused, since
//     its owner decides where it points.
//   - What it names must be writable by nobody but its owner (no group or
//     world write permission).
//   - When it sits in a directory others may create entries in (writable by
//     its group or by everyone, like /tmp), that directory must be sticky and
//     the path must belong to root or user: anyone could have created it
//     first. So /tmp/cfgserver-<uid> counts only when root or its own user
//     made it, while a directory root made for a service (/run/cfgserver,
//     owned by the service's user) counts for every client.
//   - Owner::kRootOrUser further requires it to belong to root or user.
//
// Results: Ok; NotFound when nothing is there (nor at a link's end);
// PermissionDenied ("permission denied: PATH") when user may not look;
// Unavailable with "PATH ..." and the reason when a rule is broken; IoError
// otherwise. Reads the file system only; any thread.
enum class Owner { kAnyone, kRootOrUser };

constexpr int kMaxSymbolicLinks = 8;

LxStatus CheckSafeDirectory(const std::string& path, uid_t user, Owner owner);

// The same rules for a regular file, which must belong to root or user.
LxStatus CheckSafeFile(const std::string& path, uid_t user);

}  // namespace qet_cfgserver
