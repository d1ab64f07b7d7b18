#pragma once

namespace qet_cfgserver {

// Tells the service manager how the server is doing, through sd_notify(3):
// a unit of Type=notify is "started" only once the server listens, so units
// ordered after it find the socket ready. Built without libsystemd (the
// target build has none), or run outside a service (no $NOTIFY_SOCKET),
// these calls do nothing. Main thread only.
class Readiness {
 public:
  // The socket listens and the store is open: clients may connect.
  static void Listening();

  // A stop was requested; the server closes its connections and store.
  static void Stopping();
};

}  // namespace qet_cfgserver
