#pragma once

#include <sys/types.h>

#include <string>

namespace qet_cfgserver {

// The name the user database gives uid, or the uid in decimal when it has
// none. Reads the database (getpwuid_r) on every call; any thread.
std::string UserName(uid_t uid);

// "daemon (uid 1)": a user as log lines and refusals name one.
std::string DescribeUser(uid_t uid);

}  // namespace qet_cfgserver
