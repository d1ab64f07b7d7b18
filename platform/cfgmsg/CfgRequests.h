#pragma once

#include <list>
#include <set>
#include <string>

#include "cfgmsg/LxCfgKeyValuePair.h"
#include "cfgmsg/LxiConfigure.h"
#include "cfgwire/CfgItemStatus.h"

namespace qet_cfgserver {

// Makes a handle that talks to the server at endpointName, a UNIX-domain
// socket of that name in the server's runtime directory
// ($CFGSERVER_RUNTIME_DIR, or the default of RuntimeDirectory.h). Always
// returns a handle, also when no server runs: each request connects when it
// has no connection, so the handle works as soon as the server answers. The
// library owns the handle (see LxiConfigure). Call from any thread.
LxiConfigure* CreateIpcClient(const std::string& clientName, const std::string& endpointName);

// The requests. tag is free text that the server logs with the request.
// Each is one round trip on a connection that stays open; none waits more
// than a few seconds (then kTimeout).
CfgItemStatus::Status GetCfgSets(LxiConfigure& client, std::set<std::string>& sets, const std::string& tag);
CfgItemStatus::Status GetCfgSections(LxiConfigure& client, const std::string& set, std::set<std::string>& sections,
                                     const std::string& tag);
CfgItemStatus::Status GetCfgKeysAndValues(LxiConfigure& client, const std::string& set, const std::string& section,
                                          std::list<LxCfgKeyValuePair>& pairs, const std::string& tag);

// command must be CfgItemCommand::kGet (kSet for SetCfgValue); any other code
// is answered kRejected without asking the server.
CfgItemStatus::Status GetCfgValue(LxiConfigure& client, const std::string& set, const std::string& section,
                                  const std::string& key, std::string& value, const std::string& tag,
                                  CfgItemCommand::Command command);
CfgItemStatus::Status SetCfgValue(LxiConfigure& client, const std::string& set, const std::string& section,
                                  const std::string& key, const std::string& value, const std::string& tag,
                                  CfgItemCommand::Command command);

}  // namespace qet_cfgserver
