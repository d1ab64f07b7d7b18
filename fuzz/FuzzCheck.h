#pragma once

#include <cstdio>
#include <cstdlib>

namespace quenlo_fuzz {

// Stops the run when a property every input must keep is broken: libFuzzer
// reports the abort as a crash and saves the input that caused it.
inline void Require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "broken: %s\n", property);
  std::abort();
}

}  // namespace quenlo_fuzz
