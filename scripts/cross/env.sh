# Settings shared by the cross-build scripts; sourced, not run.
#
# QUENLO_CROSS_CACHE   where the cross-built dependencies live, outside the
#                      repository so that a fresh clone reuses them
#                      (default /var/cache/quenlo-cross).
# QUENLO_CROSS_BUILD   the project's cross build tree (default <repo>/build-cross).
# QUENLO_CROSS_JOBS    parallel jobs for every build (default 2: the machine is shared).

QUENLO_CROSS_TRIPLET=powerpc-linux-gnu
QUENLO_CROSS_SYSROOT=/usr/${QUENLO_CROSS_TRIPLET}
QUENLO_CROSS_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
QUENLO_CROSS_CACHE=${QUENLO_CROSS_CACHE:-/var/cache/quenlo-cross}
QUENLO_CROSS_BUILD=${QUENLO_CROSS_BUILD:-${QUENLO_CROSS_REPO}/build-cross}
QUENLO_CROSS_JOBS=${QUENLO_CROSS_JOBS:-2}
QUENLO_CROSS_TOOLCHAIN_FILE=${QUENLO_CROSS_REPO}/cmake/${QUENLO_CROSS_TRIPLET}.cmake

# Install root of the cross-built ACE, SQLite, GoogleTest, PCRE2 and nettle, and
# of the host's header-only nlohmann JSON; the toolchain file derives the same
# path from QUENLO_CROSS_CACHE.
QUENLO_CROSS_PREFIX=${QUENLO_CROSS_CACHE}/${QUENLO_CROSS_TRIPLET}
export QUENLO_CROSS_CACHE QUENLO_CROSS_PREFIX

cross_log() {
  printf '[cross %s] %s\n' "$(date +%H:%M:%S)" "$*"
}

cross_die() {
  printf '[cross] error: %s\n' "$*" >&2
  exit 1
}
