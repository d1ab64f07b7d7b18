#pragma once

#include <cstdint>
#include <list>
#include <set>
#include <string>
#include <vector>

#include "cfgmsg/CfgAdminTypes.h"
#include "common/RevisionTypes.h"
#include "cfgmsg/LxCfgKeyValuePair.h"
#include "cfgwire/CfgItemStatus.h"
#include "common/LxStatus.h"

namespace qet_cfgserver {

// A client's handle on the configuration server. CreateIpcClient() returns
// the real one; tests put an in-memory double behind the same interface.
//
// Threads: requests come from one thread at a time; Release() may come from
// another thread while a request is under way. The free functions of
// CfgRequests.h are the way callers make requests.
//
// Ownership: the library owns handles made by CreateIpcClient(). Release()
// ends the handle's use of the server for good; the object stays valid until
// the process exits, so a thread that still holds a reference may call it
// and gets a fast failure, never freed memory.
class LxiConfigure {
 public:
  virtual ~LxiConfigure();

  // Each listing fills its container (cleared first) and returns how the
  // request went; on failure the container is left empty.
  virtual CfgItemStatus::Status ListSets(std::set<std::string>& sets, const std::string& tag) = 0;
  virtual CfgItemStatus::Status ListSections(const std::string& set, std::set<std::string>& sections,
                                             const std::string& tag) = 0;
  virtual CfgItemStatus::Status ListKeysAndValues(const std::string& set, const std::string& section,
                                                  std::list<LxCfgKeyValuePair>& pairs, const std::string& tag) = 0;

  // Stores the value on success; leaves it empty otherwise.
  virtual CfgItemStatus::Status ReadValue(const std::string& set, const std::string& section, const std::string& key,
                                          std::string& value, const std::string& tag) = 0;

  // Creates a missing set, section or key; returns once the server has
  // committed the write.
  virtual CfgItemStatus::Status WriteValue(const std::string& set, const std::string& section, const std::string& key,
                                           const std::string& value, const std::string& tag) = 0;

  // The operations of CfgAdmin.h, whose free functions say what each does.
  // A handle that cannot do them (a test double) answers kRejected.
  // confirmSeconds: see CfgHistory.h (0: a plain change).
  virtual CfgItemStatus::Status DeleteScope(const ConfigScope& scope, const std::string& tag,
                                            std::uint32_t confirmSeconds);
  virtual CfgItemStatus::Status ExportSet(const std::string& set, std::vector<ConfigEntry>& entries,
                                          const std::string& tag);
  virtual CfgItemStatus::Status ImportSet(const std::string& set, const std::vector<ConfigEntry>& entries, bool replace,
                                          const std::string& tag, std::uint32_t confirmSeconds);
  virtual CfgItemStatus::Status ListChanges(const ConfigScope& scope, std::vector<LxCfgChange>& changes,
                                            const std::string& tag);
  virtual CfgItemStatus::Status ResetScope(const ConfigScope& scope, const std::string& tag,
                                           std::uint32_t confirmSeconds);
  virtual CfgItemStatus::Status WriteCheckedValue(const std::string& set, const std::string& section,
                                                  const std::string& key, const std::string& value,
                                                  const std::string& tag);
  virtual CfgItemStatus::Status PreviewImport(const std::string& set, const std::vector<ConfigEntry>& entries,
                                              bool replace, std::vector<LxCfgChange>& changes, const std::string& tag);
  // Why the server rejected this handle's last request, when it said (the
  // schemas' verdict on the values); empty otherwise.
  virtual std::string LastReason() const;

  // A handle that cannot ask answers kSuccess: the import itself decides.
  virtual CfgItemStatus::Status CheckWritable(const std::string& set, const std::string& tag);

  // The operations of CfgHistory.h, alike.
  virtual CfgItemStatus::Status ReadRevision(std::uint64_t& current, std::uint64_t& oldestKept, const std::string& tag);
  virtual CfgItemStatus::Status ListHistory(const ConfigScope& scope, std::uint64_t before, std::uint32_t count,
                                            std::vector<RevisionEntry>& revisions, const std::string& tag);
  virtual CfgItemStatus::Status ShowRevision(std::uint64_t revision, RevisionEntry& entry,
                                             std::vector<KeyChange>& changes, const std::string& tag);
  virtual CfgItemStatus::Status DiffRevisions(std::uint64_t from, std::uint64_t to, std::vector<KeyChange>& changes,
                                              const std::string& tag);
  virtual CfgItemStatus::Status RollBack(std::uint64_t revision, std::uint64_t& made, const std::string& tag,
                                         std::uint32_t confirmSeconds);
  virtual CfgItemStatus::Status WriteValueToConfirm(const std::string& set, const std::string& section,
                                                    const std::string& key, const std::string& value,
                                                    std::uint32_t confirmSeconds, const std::string& tag);
  virtual CfgItemStatus::Status Confirm(const std::string& tag);
  virtual CfgItemStatus::Status Cancel(std::uint64_t& made, const std::string& tag);

  // Why the last request did not reach the server when this side refused
  // it: a socket that refuses this user ("permission denied: PATH", with
  // kAccessDenied) or a runtime directory this client may not trust (the
  // path and the reason, with kNoServer). Ok otherwise. Requesting thread.
  virtual LxStatus ConnectionProblem() const;

  // Ends the handle's use of the server: closes its connection, waking a
  // request under way on another thread, and waits (bounded) for it to
  // return. Later requests fail with kNoServer. Safe to call more than once.
  virtual void Release() = 0;
};

}  // namespace qet_cfgserver
