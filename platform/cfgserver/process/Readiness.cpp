#include "process/Readiness.h"

#ifdef QUENLO_HAVE_LIBSYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace qet_cfgserver {

#ifdef QUENLO_HAVE_LIBSYSTEMD

// unset_environment 0: the variable is harmless to the server's own
// children (it starts none), and Stopping() needs it later.
void Readiness::Listening() { sd_notify(0, "READY=1"); }

void Readiness::Stopping() { sd_notify(0, "STOPPING=1"); }

#else

void Readiness::Listening() {}

void Readiness::Stopping() {}

#endif

}  // namespace qet_cfgserver
