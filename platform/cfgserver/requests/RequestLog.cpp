#include "requests/RequestLog.h"

#include <stdio.h>

#include <algorithm>

#include "log/ServerLog.h"

namespace qet_cfgserver {

namespace {

constexpr std::size_t kMaxPrintableBytes = 80;

}  // namespace

std::string Printable(const std::string& bytes) {
  const std::size_t shown = std::min(bytes.size(), kMaxPrintableBytes);
  std::string text;
  // Names are mostly printable: copy each run of such bytes whole.
  std::size_t runStart = 0;
  for (std::size_t index = 0; index < shown; ++index) {
    const unsigned char byte = static_cast<unsigned char>(bytes[index]);
    if (byte >= 0x20 && byte < 0x7f && byte != '\\') continue;
    text.append(bytes, runStart, index - runStart);
    char escaped[8];
    snprintf(escaped, sizeof escaped, "\\x%02x", byte);
    text += escaped;
    runStart = index + 1;
  }
  text.append(bytes, runStart, shown - runStart);
  if (bytes.size() > kMaxPrintableBytes) text += "...";
  return text;
}

void LogWrite(const wire::Request& write, const PeerCredentials& peer, std::size_t keysChanged) {
  __dlog_printf(kDlogInfo, kServerLogSource, "%s, client '%s' (tag '%s'): %s %s/%s/%s: %zu keys changed",
                peer.Describe().c_str(), Printable(write.client).c_str(), Printable(write.tag).c_str(),
                wire::OperationName(write.operation), Printable(write.set).c_str(), Printable(write.section).c_str(),
                Printable(write.key).c_str(), keysChanged);
}

void LogDenied(const wire::Request& request, const PeerCredentials& peer) {
  __dlog_printf(kDlogWarning, kServerLogSource, "access denied to %s: %s of set '%s' (one line per user and burst)",
                peer.Describe().c_str(), wire::OperationName(request.operation), Printable(request.set).c_str());
}

void LogRejected(const wire::Request& request, const LxStatus& why) {
  __dlog_printf(kDlogWarning, kServerLogSource, "rejected %s from '%s': %s", wire::OperationName(request.operation),
                Printable(request.client).c_str(), why.message().c_str());
}

}  // namespace qet_cfgserver
