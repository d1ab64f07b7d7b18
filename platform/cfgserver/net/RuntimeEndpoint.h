#pragma once

#include <string>

#include "common/LxStatus.h"

namespace qet_cfgserver {

// The server's socket file in its runtime directory, named
// wire::kServerEndpoint. Claim() makes the directory (mode 0755, parents
// too, so that every local user can reach the socket; the server decides by
// credentials) and frees the socket path: a file left by a server that died
// is removed, but when a server still answers there Claim() fails, so two
// servers never share one directory. Clients trust whatever listens there,
// so the directory must pass the safe-path rules of common/SafePath.h for
// the server's user and belong to root or that user; a file in the way that
// is not a socket is left alone (Claim() fails). The destructor removes the
// socket file once the server has bound it (MarkBound()). Main thread only.
class RuntimeEndpoint {
 public:
  RuntimeEndpoint() = default;
  ~RuntimeEndpoint();

  RuntimeEndpoint(const RuntimeEndpoint&) = delete;
  RuntimeEndpoint& operator=(const RuntimeEndpoint&) = delete;

  LxStatus Claim(const std::string& runtimeDirectory);

  // The socket now belongs to this server; remove it on destruction.
  void MarkBound() { bound_ = true; }

  const std::string& socketPath() const { return socketPath_; }

 private:
  std::string socketPath_;
  bool bound_ = false;
};

}  // namespace qet_cfgserver
