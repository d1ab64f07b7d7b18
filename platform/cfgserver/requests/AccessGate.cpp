#include "requests/AccessGate.h"

#include <algorithm>

#include "requests/RequestLog.h"

namespace qet_cfgserver {

namespace {

// For the operations that take a scope.
bool CoversEverySet(const wire::Request& request) { return request.scopeLevel() == ConfigScope::Level::kAll; }

}  // namespace

bool AccessGate::Allows(const wire::Request& request, const PeerCredentials& peer,
                        const std::string& importSet) const {
  // Its rollback may undo any set's later changes.
  if (request.confirmSeconds != 0 && !rules_->MayWriteEverySet(peer)) return false;
  switch (request.operation) {
    case wire::Operation::kGetSets:
      return rules_->MayReadSomeSet(peer);
    case wire::Operation::kGetSections:
    case wire::Operation::kGetKeysAndValues:
    case wire::Operation::kGetValue:
    case wire::Operation::kExport:
      return rules_->MayRead(peer, request.set);
    case wire::Operation::kSetValue:
    case wire::Operation::kImportBegin:
      return rules_->MayWrite(peer, request.set);
    case wire::Operation::kImportEntries:
      return true;  // staged only; the begin and the commit are checked
    case wire::Operation::kImportCommit:
    case wire::Operation::kImportPreview:  // tells the set's values and its schema's verdict
      return rules_->MayWrite(peer, importSet);
    case wire::Operation::kDelete:
    case wire::Operation::kReset:
      return CoversEverySet(request) ? rules_->MayWriteEverySet(peer) : rules_->MayWrite(peer, request.set);
    case wire::Operation::kChanges:
    case wire::Operation::kSubscribe:
    case wire::Operation::kWatchSince:
      return CoversEverySet(request) ? rules_->MayReadSomeSet(peer) : rules_->MayRead(peer, request.set);
    case wire::Operation::kRevision:
      return rules_->MayReadSomeSet(peer);
    case wire::Operation::kHistory:
      return CoversEverySet(request) ? rules_->MayWriteEverySet(peer) : rules_->MayRead(peer, request.set);
    case wire::Operation::kShowRevision:
    case wire::Operation::kDiff:
    case wire::Operation::kRollback:
    case wire::Operation::kConfirm:
    case wire::Operation::kCancel:
      return rules_->MayWriteEverySet(peer);
  }
  return false;
}

bool AccessGate::Permits(const wire::Request& request, const PeerCredentials& peer, const std::string& importSet) {
  if (Allows(request, peer, importSet)) return true;
  if (warnings_.StartsBurst(peer.uid, PerUserWarnings::Clock::now())) LogDenied(request, peer);
  return false;
}

void AccessGate::Trim(const wire::Request& request, const PeerCredentials& peer, wire::Reply* reply) const {
  if (request.operation == wire::Operation::kGetSets) {
    auto& names = reply->names;
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&](const std::string& set) { return !rules_->MayRead(peer, set); }),
                names.end());
  }
  if (request.operation == wire::Operation::kChanges && CoversEverySet(request)) {
    auto& records = reply->records;
    records.erase(std::remove_if(records.begin(), records.end(),
                                 [&](const wire::Record& record) { return !rules_->MayRead(peer, record.set); }),
                  records.end());
  }
}

}  // namespace qet_cfgserver
