#pragma once

#include <sanitizer/common_interface_defs.h>

#include <cstdlib>
#include <string>

namespace quenlo_fuzz {

// Stops the run when a property every input must keep is broken: libFuzzer
// reports the abort as a crash and saves the input that caused it. The
// message goes where the sanitizers report, which stays open when libFuzzer
// silences the target's standard error (-close_fd_mask=2).
inline void Require(bool holds, const char* property) {
  if (holds) return;
  __sanitizer_report_error_summary((std::string("broken: ") + property).c_str());
  std::abort();
}

}  // namespace quenlo_fuzz
