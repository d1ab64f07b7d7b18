#!/usr/bin/env bash
# Builds and runs every test: a plain build, then the host package installed
# into a scratch root and run there, then AddressSanitizer with
# UndefinedBehaviorSanitizer, then ThreadSanitizer, then each fuzzer for a
# minute, then the cross build for the PowerPC target under emulation (when
# that script is present).
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

"$top/scripts/install-deps.sh"

run_suite() {
  local name=$1
  shift
  local build="$top/build/$name"
  echo "=== $name: build"
  cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$build" -j"$jobs"
  echo "=== $name: test"
  (cd "$build" && ctest --output-on-failure -j"$jobs" --timeout 120)
}

run_suite test
echo "=== package: build the host package, install it in a scratch root, run it"
"$top/scripts/package.sh" --host
"$top/scripts/install-check.sh"
run_suite asan -DQUENLO_SANITIZE=address
# ThreadSanitizer cannot map its shadow memory under the newest ASLR
# settings; running without address randomisation avoids that.
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" setarch "$(uname -m)" -R \
  bash -c "$(declare -f run_suite); top='$top' jobs='$jobs' run_suite tsan -DQUENLO_SANITIZE=thread"

"$top/scripts/fuzz.sh" 60

if [ -x "$top/scripts/cross/test-target.sh" ]; then
  "$top/scripts/cross/test-target.sh"
fi
