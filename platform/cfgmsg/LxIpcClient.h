#pragma once

#include <condition_variable>
#include <mutex>
#include <string>

#include "cfgmsg/LxServerConnection.h"
#include "cfgmsg/LxiConfigure.h"
#include "cfgwire/Messages.h"

namespace qet_cfgserver {

// The real handle: turns each request into one frame to the server over a
// kept-open UNIX-domain connection and the reply frame back into the
// caller's containers. Status mapping: no server, a lost connection or a
// runtime directory this client may not trust -> kNoServer; a socket that
// refuses this user -> kAccessDenied; no answer within the timeout ->
// kTimeout; a request over the limits -> kRejected (not sent); an
// unreadable reply -> kServerError; otherwise the server's own status.
//
// Threads and ownership: as LxiConfigure says. Requests are serialised by a
// busy flag; Release() may run on any thread.
class LxIpcClient : public LxiConfigure {
 public:
  // How long one connect, send or receive may wait.
  static const ACE_Time_Value kDefaultTimeout;

  // A handle owned by the library, kept until the process exits.
  static LxIpcClient* Create(const std::string& clientName, const std::string& endpointName);

  // For tests that own their handle: talks to the socket at socketPath.
  LxIpcClient(std::string clientName, std::string socketPath, const ACE_Time_Value& timeout);
  ~LxIpcClient() override;

  CfgItemStatus::Status ListSets(std::set<std::string>& sets, const std::string& tag) override;
  CfgItemStatus::Status ListSections(const std::string& set, std::set<std::string>& sections,
                                     const std::string& tag) override;
  CfgItemStatus::Status ListKeysAndValues(const std::string& set, const std::string& section,
                                          std::list<LxCfgKeyValuePair>& pairs, const std::string& tag) override;
  CfgItemStatus::Status ReadValue(const std::string& set, const std::string& section, const std::string& key,
                                  std::string& value, const std::string& tag) override;
  CfgItemStatus::Status WriteValue(const std::string& set, const std::string& section, const std::string& key,
                                   const std::string& value, const std::string& tag) override;
  CfgItemStatus::Status DeleteScope(const ConfigScope& scope, const std::string& tag,
                                    std::uint32_t confirmSeconds) override;
  // The set comes in pieces of wire::kExportPieceBytes, one round trip
  // each: a write meanwhile may show in later pieces. A set over
  // wire::kMaxSetBytes, which no import would take back, is kRejected.
  CfgItemStatus::Status ExportSet(const std::string& set, std::vector<ConfigEntry>& entries,
                                  const std::string& tag) override;
  // The entries go in frames within the request-size limit (kImportBegin,
  // kImportEntries..., kImportCommit); the server applies them at the commit.
  CfgItemStatus::Status ImportSet(const std::string& set, const std::vector<ConfigEntry>& entries, bool replace,
                                  const std::string& tag, std::uint32_t confirmSeconds) override;
  CfgItemStatus::Status ListChanges(const ConfigScope& scope, std::vector<LxCfgChange>& changes,
                                    const std::string& tag) override;
  CfgItemStatus::Status ResetScope(const ConfigScope& scope, const std::string& tag,
                                   std::uint32_t confirmSeconds) override;
  CfgItemStatus::Status WriteCheckedValue(const std::string& set, const std::string& section, const std::string& key,
                                          const std::string& value, const std::string& tag) override;
  CfgItemStatus::Status PreviewImport(const std::string& set, const std::vector<ConfigEntry>& entries, bool replace,
                                      std::vector<LxCfgChange>& changes, const std::string& tag) override;
  std::string LastReason() const override;
  // Begins an import of set (the server checks the write then) and sends
  // nothing more: the next begin, or the connection's end, drops it.
  CfgItemStatus::Status CheckWritable(const std::string& set, const std::string& tag) override;
  CfgItemStatus::Status ReadRevision(std::uint64_t& current, std::uint64_t& oldestKept, const std::string& tag) override;
  CfgItemStatus::Status ListHistory(const ConfigScope& scope, std::uint64_t before, std::uint32_t count,
                                    std::vector<RevisionEntry>& revisions, const std::string& tag) override;
  CfgItemStatus::Status ShowRevision(std::uint64_t revision, RevisionEntry& entry, std::vector<KeyChange>& changes,
                                     const std::string& tag) override;
  CfgItemStatus::Status DiffRevisions(std::uint64_t from, std::uint64_t to, std::vector<KeyChange>& changes,
                                      const std::string& tag) override;
  CfgItemStatus::Status RollBack(std::uint64_t revision, std::uint64_t& made, const std::string& tag,
                                 std::uint32_t confirmSeconds) override;
  CfgItemStatus::Status WriteValueToConfirm(const std::string& set, const std::string& section, const std::string& key,
                                            const std::string& value, std::uint32_t confirmSeconds,
                                            const std::string& tag) override;
  CfgItemStatus::Status Confirm(const std::string& tag) override;
  CfgItemStatus::Status Cancel(std::uint64_t& made, const std::string& tag) override;
  void Release() override;
  LxStatus ConnectionProblem() const override { return connectionProblem_; }

 private:
  wire::Request ScopedRequest(wire::Operation operation, const ConfigScope& scope, const std::string& tag) const;
  wire::Request NewRequest(wire::Operation operation, const std::string& tag) const;
  wire::Request WriteRequest(const std::string& set, const std::string& section, const std::string& key,
                             const std::string& value, const std::string& tag) const;
  // Begins an import and sends its entries; the caller ends it.
  CfgItemStatus::Status StageImport(const std::string& set, const std::vector<ConfigEntry>& entries, bool replace,
                                    const std::string& tag);
  // version: at least the operation's own (wire::EncodeRequestFrame).
  CfgItemStatus::Status Ask(const wire::Request& request, wire::Reply* reply,
                            std::uint8_t version = wire::kFirstProtocolVersion);
  // Ask for a revision operation: a success must answer with the revision tail.
  CfgItemStatus::Status AskRevisions(const wire::Request& request, wire::Reply* reply);
  // Asks for a show or a diff piece after piece (see wire::Operation),
  // gathering their keys into *changes; *first is the first piece's answer.
  CfgItemStatus::Status AskKeysInPieces(wire::Request request, wire::Reply* first, std::vector<KeyChange>* changes);
  CfgItemStatus::Status AskOnce(const wire::Request& request, wire::Reply* reply, std::uint8_t version);
  bool BeginRequest();
  void EndRequest();
  void Report(const wire::Request& request, CfgItemStatus::Status status, const LxStatus& why);

  const std::string clientName_;
  const ACE_Time_Value timeout_;
  LxServerConnection connection_;
  std::string lastReason_;  // requesting thread only
  bool inOutage_ = false;  // requesting thread only: a lost server is logged once, not per request
  LxStatus connectionProblem_;  // requesting thread only

  std::mutex mutex_;  // guards the two flags below
  std::condition_variable idle_;
  bool busy_ = false;
  bool released_ = false;
};

}  // namespace qet_cfgserver
