#!/usr/bin/env bash
# Builds quenlo, cfgserver and the whole test suite for the target (32-bit
# big-endian PowerPC Linux) and runs the suite under qemu-ppc.
#
#   1. installs the cross toolchain and qemu when missing  (install-toolchain.sh)
#   2. cross-builds ACE, SQLite, GoogleTest, PCRE2, nettle once, cached  (build-deps.sh)
#   3. configures with cmake/powerpc-linux-gnu.cmake, builds, runs ctest
#   4. reports the target programs' architecture, stripped size and the
#      shared libraries they need on the target
#   5. runs quenlo and cfgserver across byte orders (mixed-byte-order.sh;
#      QUENLO_CROSS_MIXED=0 skips it)
#
# Run as root on Debian 12. Settings: see env.sh. Extra arguments go to ctest
# (for example -R cfgwire).
set -euo pipefail
script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "${script_dir}/env.sh"

# Per test; qemu runs the target code several times slower than native.
QUENLO_CROSS_TEST_TIMEOUT=${QUENLO_CROSS_TEST_TIMEOUT:-600}

readonly target_programs=(quenlo cfgserver cfgctl)

# Tests that start quenlo or cfgserver as children get the emulator as one
# word (qemu-target.sh), which survives any quoting of the compile definition.
configure_and_build() {
  cross_log "configuring ${QUENLO_CROSS_BUILD}"
  cmake -S "$QUENLO_CROSS_REPO" -B "$QUENLO_CROSS_BUILD" \
    -DCMAKE_TOOLCHAIN_FILE="$QUENLO_CROSS_TOOLCHAIN_FILE" \
    -DQUENLO_CROSS_PREFIX="$QUENLO_CROSS_PREFIX" \
    -DQUENLO_CHILD_EMULATOR="${script_dir}/qemu-target.sh" \
    -DQUENLO_BUILD_TESTS=ON >"${QUENLO_CROSS_BUILD}/configure.log" 2>&1 || {
    cat "${QUENLO_CROSS_BUILD}/configure.log" >&2
    cross_die "cmake configure failed"
  }
  cross_log "building with ${QUENLO_CROSS_JOBS} jobs"
  cmake --build "$QUENLO_CROSS_BUILD" -j"${QUENLO_CROSS_JOBS}"
}

run_tests() {
  cross_log "running the test suite under qemu-ppc"
  ctest --test-dir "$QUENLO_CROSS_BUILD" --output-on-failure \
    -j"${QUENLO_CROSS_JOBS}" --timeout "$QUENLO_CROSS_TEST_TIMEOUT" "$@"
}

# Prints what a target program is, its stripped size and its run-time libraries.
describe_program() {
  local program=$1 stripped needed
  stripped=$(mktemp)
  "${QUENLO_CROSS_TRIPLET}-strip" -o "$stripped" "$program"
  needed=$("${QUENLO_CROSS_TRIPLET}-readelf" -d "$program" |
    sed -n -E 's/.*\(NEEDED\).*\[(.*)\]/\1/p' | paste -s -d ' ')
  echo "$(basename "$program"):"
  echo "  $(file -b "$program" | cut -d, -f1-2)"
  echo "  stripped size: $(stat -c %s "$stripped") bytes (unstripped $(stat -c %s "$program"))"
  echo "  needs: ${needed}"
  rm -f "$stripped"
}

report_programs() {
  local name program
  for name in "${target_programs[@]}"; do
    program=$(find "$QUENLO_CROSS_BUILD" -type f -name "$name" -perm -u+x -print -quit)
    if [[ -z $program ]]; then
      echo "${name}: not built (no such target in the tree yet)"
      continue
    fi
    describe_program "$program"
  done
}

main() {
  local start=$SECONDS status=0
  "${script_dir}/install-toolchain.sh"
  "${script_dir}/build-deps.sh"
  mkdir -p "$QUENLO_CROSS_BUILD"
  configure_and_build
  run_tests "$@" || status=$?
  report_programs
  if [[ $status -eq 0 && ${QUENLO_CROSS_MIXED:-1} == 1 ]]; then
    "${script_dir}/mixed-byte-order.sh" || status=$?
  fi
  cross_log "finished in $((SECONDS - start)) s; exit status ${status}"
  return "$status"
}

main "$@"
