#!/usr/bin/env bash
# Builds the release packages into build/packages/:
#   quenlo_<version>_<host arch>.deb    for the development host (Debian 12)
#   quenlo_<version>_powerpc.deb        for the target, from the cross build
#   quenlo-<version>-powerpc.tar.gz     the target's staged install tree
#                                       (usr/...: unpack at the target's root)
# and prints each one's size and the stripped programs' sizes.
#
#   ./scripts/package.sh            host and target
#   ./scripts/package.sh --host     the host package only (what CI installs)
#
# Run as root on Debian 12, like scripts/test.sh. The target half installs
# the cross toolchain and builds the cached dependencies when missing (see
# scripts/cross/); its unit is Type=exec, since the target build has no
# libsystemd to report readiness with.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
out="$top/build/packages"
jobs=$(nproc)
host_only=0
case "${1:-}" in
  --host) host_only=1 ;;
  "") ;;
  *) echo "usage: $0 [--host]" >&2; exit 2 ;;
esac

release_options=(-DCMAKE_BUILD_TYPE=Release -DQUENLO_BUILD_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr)

# Builds one tree and runs cpack into $out.
package_tree() {
  local build=$1
  shift
  cmake -S "$top" -B "$build" "${release_options[@]}" "$@" >"$build.configure.log" 2>&1 ||
    { cat "$build.configure.log" >&2; exit 1; }
  cmake --build "$build" -j"$jobs"
  (cd "$build" && cpack -B "$out" >"$build.cpack.log" 2>&1) || { cat "$build.cpack.log" >&2; exit 1; }
}

# Prints the size of each package and of each program inside it.
report() {
  local package
  for package in "$@"; do
    echo "$(basename "$package"): $(stat -c %s "$package") bytes"
  done
  for package in "$@"; do
    [[ $package == *.deb ]] || continue
    local unpacked
    unpacked=$(mktemp -d)
    dpkg-deb -x "$package" "$unpacked"
    find "$unpacked/usr/bin" "$unpacked/usr/sbin" -type f -printf "  %f (stripped): %s bytes\n"
    echo "  Depends: $(dpkg-deb -f "$package" Depends)"
    rm -rf "$unpacked"
  done
}

mkdir -p "$out" "$top/build"
rm -f "$out"/quenlo*.deb "$out"/quenlo*.tar.gz
"$top/scripts/install-deps.sh"

package_tree "$top/build/package-host"
packages=("$out"/quenlo_*_"$(dpkg --print-architecture)".deb)

if [[ $host_only == 0 ]]; then
  source "$top/scripts/cross/env.sh"
  "$top/scripts/cross/install-toolchain.sh"
  "$top/scripts/cross/build-deps.sh"
  package_tree "$top/build/package-target" \
    -DCMAKE_TOOLCHAIN_FILE="$QUENLO_CROSS_TOOLCHAIN_FILE" -DQUENLO_CROSS_PREFIX="$QUENLO_CROSS_PREFIX"
  packages+=("$out"/quenlo_*_powerpc.deb "$out"/quenlo-*-powerpc.tar.gz)
fi

report "${packages[@]}"
