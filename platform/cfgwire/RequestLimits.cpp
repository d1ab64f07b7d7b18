#include "cfgwire/RequestLimits.h"

#include "cfgwire/Limits.h"

namespace qet_cfgserver {
namespace wire {

namespace {

LxStatus TooLong(const std::string& text, std::size_t limit, const char* what) {
  return LxStatus::InvalidArgument(std::string(what) + " is " + std::to_string(text.size()) + " bytes, over the limit of " +
                                   std::to_string(limit));
}

LxStatus CheckSize(const std::string& text, std::size_t limit, const char* what) {
  return text.size() <= limit ? LxStatus::Ok() : TooLong(text, limit, what);
}

bool IsScoped(Operation operation) {
  return operation == Operation::kDelete || operation == Operation::kChanges || operation == Operation::kReset ||
         operation == Operation::kSubscribe || operation == Operation::kHistory || operation == Operation::kWatchSince;
}

LxStatus CheckScope(const Request& request) {
  const ConfigScope::Level level = request.scopeLevel();
  if (level > ConfigScope::Level::kKey)
    return LxStatus::InvalidArgument("unknown scope level " + std::to_string(static_cast<std::uint32_t>(level)));
  if (request.operation == Operation::kDelete && level == ConfigScope::Level::kAll)
    return LxStatus::InvalidArgument("a delete needs at least a set");
  if ((level >= ConfigScope::Level::kSet && request.set.empty()) || (level >= ConfigScope::Level::kSection && request.section.empty()) ||
      (level >= ConfigScope::Level::kKey && request.key.empty()))
    return LxStatus::InvalidArgument("the scope lacks a name its level needs");
  return LxStatus::Ok();
}

LxStatus CheckEntries(const Request& request) {
  if (!request.entries.empty() && request.operation != Operation::kImportEntries)
    return LxStatus::InvalidArgument("entries with an operation that takes none");
  for (const Record& entry : request.entries) {
    if (entry.section.empty() || entry.key.empty()) return LxStatus::InvalidArgument("an entry needs a section and a key");
    LxStatus status = CheckSize(entry.section, kMaxNameBytes, "section name");
    if (status.ok()) status = CheckSize(entry.key, kMaxNameBytes, "key name");
    if (status.ok()) status = CheckSize(entry.value, kMaxValueBytes, "value");
    if (status.ok() && !(entry.set.empty() && entry.defaultValue.empty()))
      status = LxStatus::InvalidArgument("an entry carries a section, a key and a value only");
    if (!status.ok()) return status;
  }
  return LxStatus::Ok();
}

}  // namespace

LxStatus CheckRequestLimits(const Request& request) {
  const struct {
    const std::string& text;
    std::size_t limit;
    const char* what;
  } checks[] = {
      {request.client, kMaxLabelBytes, "client name"}, {request.tag, kMaxLabelBytes, "tag"},
      {request.set, kMaxNameBytes, "set name"},        {request.section, kMaxNameBytes, "section name"},
      {request.key, kMaxNameBytes, "key name"},        {request.value, kMaxValueBytes, "value"},
  };
  // Compared first, a status made only for a refusal: every request passes here.
  for (const auto& check : checks)
    if (check.text.size() > check.limit) return TooLong(check.text, check.limit, check.what);
  if (request.operation == Operation::kSetValue &&
      (request.set.empty() || request.section.empty() || request.key.empty()))
    return LxStatus::InvalidArgument("a write needs a set, a section and a key");
  if ((request.operation == Operation::kImportBegin || request.operation == Operation::kExport) && request.set.empty())
    return LxStatus::InvalidArgument("an import or export needs a set");
  if (IsScoped(request.operation)) {
    LxStatus status = CheckScope(request);
    if (!status.ok()) return status;
  }
  if (request.confirmSeconds > kMaxConfirmSeconds)
    return LxStatus::InvalidArgument("a change waits at most " + std::to_string(kMaxConfirmSeconds) +
                                     " seconds for its confirmation");
  if (request.confirmSeconds != 0 && request.operation != Operation::kSetValue &&
      request.operation != Operation::kDelete && request.operation != Operation::kReset &&
      request.operation != Operation::kImportCommit && request.operation != Operation::kRollback)
    return LxStatus::InvalidArgument("only a change can await confirmation");
  if (request.operation == Operation::kHistory && request.count > kMaxRevisionsPerReply)
    return LxStatus::InvalidArgument("a history lists at most " + std::to_string(kMaxRevisionsPerReply) +
                                     " revisions at a time");
  return CheckEntries(request);
}

}  // namespace wire
}  // namespace qet_cfgserver
