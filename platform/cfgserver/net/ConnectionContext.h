#pragma once

#include <ace/Time_Value.h>

#include "access/UserConnectionLimit.h"
#include "net/ConnectionLimit.h"
#include "net/LargeReplyQueue.h"
#include "requests/MemoryBudget.h"
#include "requests/RequestDispatcher.h"

namespace qet_cfgserver {

// What every client connection shares with the others. Owned by the server,
// which keeps all of it alive longer than any connection.
struct ConnectionContext {
  RequestDispatcher* dispatcher = nullptr;
  ConnectionLimit* limit = nullptr;
  UserConnectionLimit* userLimit = nullptr;
  MemoryBudget* budget = nullptr;
  LargeReplyQueue* largeReplies = nullptr;
  // An import under way with no request for this long is dropped.
  ACE_Time_Value importTimeout;
};

}  // namespace qet_cfgserver
