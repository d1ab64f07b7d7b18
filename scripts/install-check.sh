#!/usr/bin/env bash
# CI's installation check, without containers or root file systems:
#   1. `cmake --install --prefix` of the package build lays out every file, and
#      `systemd-analyze verify` accepts the installed unit;
#   2. the host package unpacks (dpkg-deb -x) into a scratch root, its
#      dependencies are installed on this host and its programs find every
#      library;
#   3. the unpacked cfgserver, started through the unit's start script with
#      the unpacked defaults, serves one session of the unpacked quenlo.
#
#   ./scripts/install-check.sh   (after ./scripts/package.sh --host)
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/package-host"
package=$(ls "$top"/build/packages/quenlo_*_"$(dpkg --print-architecture)".deb)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/quenlo-install.XXXXXX")
server=
cleanup() {
  [[ -n $server ]] && kill -TERM "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "install check FAILED: $*" >&2; exit 1; }

echo "=== install: layout and unit"
prefix="$scratch/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
for file in bin/quenlo sbin/cfgserver libexec/cfgserver/cfgserver-start share/cfgserver/defaults/network.ini \
  share/cfgserver/defaults/network.schema share/man/man1/quenlo.1 share/man/man8/cfgserver.8 \
  lib/systemd/system/cfgserver.service; do
  [[ -f $prefix/$file ]] || fail "cmake --install left out $file"
done
if [[ -d $top/cfgctl ]]; then
  [[ -f $prefix/bin/cfgctl && -f $prefix/share/man/man1/cfgctl.1 ]] || fail "cfgctl or its page not installed"
fi
# verify also runs man(1) on the unit's Documentation= pages.
MANPATH="$prefix/share/man" systemd-analyze verify "$prefix/lib/systemd/system/cfgserver.service" ||
  fail "systemd-analyze verify"

echo "=== install: $(basename "$package") in a scratch root"
root="$scratch/root"
dpkg-deb -x "$package" "$root"
dpkg-deb -f "$package" Depends | tr ',' '\n' | sed -E 's/\(.*//; s/ //g' | while read -r dependency; do
  dpkg-query -W -f='${Status}' "$dependency" 2>/dev/null | grep -q "install ok installed" ||
    fail "dependency $dependency is not installed here"
done
for program in "$root/usr/bin/quenlo" "$root/usr/sbin/cfgserver"; do
  ! ldd "$program" | grep -q "not found" || fail "$program misses a library"
done
grep -q "^ExecStart=/usr/libexec/cfgserver/cfgserver-start$" "$root/usr/lib/systemd/system/cfgserver.service" ||
  fail "the packaged unit does not start /usr/libexec/cfgserver/cfgserver-start"

echo "=== install: the unpacked server and console"
runtime="$scratch/run"
"$root/usr/libexec/cfgserver/cfgserver-start" --runtime-dir "$runtime" --database "$scratch/state/config.db" \
  2>"$scratch/cfgserver.log" &
server=$!
for _ in $(seq 100); do
  [[ -S $runtime/CfgServer-ReadFifo ]] && break
  kill -0 "$server" 2>/dev/null || { cat "$scratch/cfgserver.log" >&2; fail "cfgserver did not start"; }
  sleep 0.1
done
session=$(printf ',\nnetwork,eth0,mtu\nsystem,time,zone,CET\nsystem,time,zone\nq\n' |
  CFGSERVER_RUNTIME_DIR="$runtime" timeout 60 "$root/usr/bin/quenlo" 2>/dev/null)
for expected in "    logging" "    network" "    system" "    1500    status = ok" "    CET    status = ok"; do
  grep -qxF -- "$expected" <<<"$session" || { echo "$session" >&2; fail "no line '$expected' in the session"; }
done
kill -TERM "$server"
status=0
wait "$server" || status=$?
server=
[[ $status -eq 0 ]] || { cat "$scratch/cfgserver.log" >&2; fail "cfgserver exited $status on SIGTERM"; }
echo "install check passed"
