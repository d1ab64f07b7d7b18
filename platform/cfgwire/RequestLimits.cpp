#include "RequestLimits.h"

#include "Limits.h"

namespace qet_cfgserver {
namespace wire {

namespace {

LxStatus CheckSize(const std::string& text, std::size_t limit, const char* what) {
  if (text.size() <= limit) return LxStatus::Ok();
  return LxStatus::InvalidArgument(std::string(what) + " is " + std::to_string(text.size()) + " bytes, over the limit of " +
                                   std::to_string(limit));
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
  for (const auto& check : checks) {
    LxStatus status = CheckSize(check.text, check.limit, check.what);
    if (!status.ok()) return status;
  }
  if (request.operation == Operation::kSetValue &&
      (request.set.empty() || request.section.empty() || request.key.empty()))
    return LxStatus::InvalidArgument("a write needs a set, a section and a key");
  return LxStatus::Ok();
}

}  // namespace wire
}  // namespace qet_cfgserver
