#pragma once

#include <ace/Time_Value.h>

#include <cstdint>
#include <memory>
#include <string>

#include "cfgmsg/CfgAdmin.h"
#include "cfgmsg/CfgHistory.h"
#include "cfgwire/Messages.h"
#include "cfgwire/CfgItemStatus.h"

namespace qet_cfgserver {

// A subscription to the changes the server commits within a scope, on a
// connection of its own, for services that must act when the operator
// changes their configuration.
//
// The server pushes one event per changed key after each commit, in commit
// order, each exactly once (writes from any client, deletes, resets and
// imports alike). It queues at most 1,024 events (or 256 KiB) for a watcher
// that does not read; on overflow it drops that queue and sends one kMissed
// event saying how many were dropped, then goes on with later changes: a
// watcher is told when it missed changes, never silently. After kMissed a
// service should read the configuration afresh.
//
// A watch opened with OpenSince resumes: it is first told every change
// after a revision, read from the server's history, then each change as it
// is committed, every event with its revision, none missing, none twice. A
// watcher that falls behind is dropped as above, its kMissed event counting
// revisions (the rest of a revision it counts is not sent); kMissed also
// counts revisions history no longer held when they came to be read. A service that
// stores the revision of the last event it acted on (or, after kMissed, of
// the last it was told whole) resumes from it after a restart or a kMissed.
//
// Threads: one thread calls Next() (blocking read, no callback threads are
// made); Close() may come from any thread and wakes a Next() under way,
// which then returns kNoServer. The object must outlive both calls.
class LxCfgWatch {
 public:
  struct Event {
    enum class Kind { kSet, kDeleted, kMissed };
    Kind kind = Kind::kSet;
    std::string set, section, key, value;  // value: the new value for kSet
    std::uint32_t missed = 0;              // kMissed: how many events (OpenSince: revisions) were dropped
    std::uint64_t revision = 0;            // the change's revision (OpenSince); 0 otherwise
  };

  // Connects to the server at endpointName (as CreateIpcClient() finds it)
  // and subscribes. Returns null on failure with *status saying why
  // (kNoServer, kTimeout, kAccessDenied, kRejected for a server without
  // watches or a bad scope) and, when this side refused to connect, *problem
  // the reason (as LxiConfigure::ConnectionProblem()). status and problem
  // may be null.
  static std::unique_ptr<LxCfgWatch> Open(const std::string& clientName, const std::string& endpointName,
                                          const ConfigScope& scope, CfgItemStatus::Status* status,
                                          LxStatus* problem = nullptr);

  // For tests: subscribes on the socket at socketPath.
  static std::unique_ptr<LxCfgWatch> OpenAt(const std::string& clientName, const std::string& socketPath,
                                            const ConfigScope& scope, CfgItemStatus::Status* status,
                                            LxStatus* problem = nullptr);

  // Subscribes as Open does, resuming after revision since (a number
  // GetCfgRevision or an earlier event gave; kCfgCurrentRevision: from now
  // on). Null with kKeyNotFound when the server no longer keeps what
  // followed since (GetCfgRevision tells the oldest kept), kRejected when
  // since is not made yet.
  static std::unique_ptr<LxCfgWatch> OpenSince(const std::string& clientName, const std::string& endpointName,
                                               const ConfigScope& scope, std::uint64_t since,
                                               CfgItemStatus::Status* status, LxStatus* problem = nullptr);

  // For tests: resumes on the socket at socketPath.
  static std::unique_ptr<LxCfgWatch> OpenSinceAt(const std::string& clientName, const std::string& socketPath,
                                                 const ConfigScope& scope, std::uint64_t since,
                                                 CfgItemStatus::Status* status, LxStatus* problem = nullptr);

  ~LxCfgWatch();
  LxCfgWatch(const LxCfgWatch&) = delete;
  LxCfgWatch& operator=(const LxCfgWatch&) = delete;

  // Waits up to timeout for the next event. kSuccess with *event filled;
  // kTimeout when none arrived; kNoServer when the server went away or
  // Close() was called (the watch is then finished); kServerError for an
  // unreadable frame (finished too).
  CfgItemStatus::Status Next(Event* event, const ACE_Time_Value& timeout);

  // Ends the watch; safe to call more than once and from any thread.
  void Close();

 private:
  class Connection;
  explicit LxCfgWatch(std::unique_ptr<Connection> connection);

  // Connects to socketPath and sends request (a subscription), expecting
  // an answer of kind answered.
  static std::unique_ptr<LxCfgWatch> Subscribe(const std::string& socketPath, const wire::Request& request,
                                               wire::ReplyKind answered, CfgItemStatus::Status* status,
                                               LxStatus* problem);
  // The socket of endpointName, as CreateIpcClient() finds it.
  static bool SocketOf(const std::string& endpointName, std::string* socketPath);
  std::unique_ptr<Connection> connection_;
};

}  // namespace qet_cfgserver
