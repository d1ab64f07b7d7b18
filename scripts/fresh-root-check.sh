#!/usr/bin/env bash
# Checks the host package on a fresh Debian 12: makes a minimal root with
# debootstrap (needs the network, and root), installs the package there with
# `apt-get install ./quenlo_*.deb` (which pulls its dependencies), starts
# cfgserver as cfgserver.service does (its ExecStart, run by hand: no systemd
# runs in a chroot) and runs one console session against it.
#
#   ./scripts/fresh-root-check.sh [build/packages/quenlo_<version>_<arch>.deb]
#
# The pristine root is kept in $QUENLO_FRESH_ROOT (default
# /var/tmp/quenlo-bookworm) and copied for each run.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
package=${1:-$(ls "$top"/build/packages/quenlo_*_"$(dpkg --print-architecture)".deb)}
pristine=${QUENLO_FRESH_ROOT:-/var/tmp/quenlo-bookworm}
mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -1)

"$top/scripts/install-deps.sh" debootstrap
if [[ ! -x $pristine/usr/bin/apt-get ]]; then
  # The mirror this machine's apt already uses: nothing else is reachable.
  [[ -n $mirror ]] || { echo "fresh-root-check: no mirror in /etc/apt/sources.list.d/debian.sources" >&2; exit 1; }
  debootstrap --variant=minbase bookworm "$pristine" "$mirror"
fi

root=$(mktemp -d /var/tmp/quenlo-fresh.XXXXXX)
cleanup() {
  [[ -n ${server:-} ]] && kill -TERM "$server" 2>/dev/null && wait "$server" 2>/dev/null
  umount "$root/proc" 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT
cp -a "$pristine/." "$root/"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
cp "$package" "$root/tmp/"

in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }
in_root apt-get update -q >/dev/null
DEBIAN_FRONTEND=noninteractive in_root apt-get install -y -q --no-install-recommends "/tmp/$(basename "$package")"

# The unit's ExecStart, as root: /run/cfgserver and /var/lib/cfgserver.
exec_start=$(sed -n 's/^ExecStart=//p' "$root/usr/lib/systemd/system/cfgserver.service")
echo "ExecStart: $exec_start"
# A simple command, not the function: $! is then the process that becomes
# cfgserver (chroot, env and the start script each exec the next).
chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin "$exec_start" 2>"$root/tmp/cfgserver.log" &
server=$!
for _ in $(seq 100); do
  [[ -S $root/run/cfgserver/CfgServer-ReadFifo ]] && break
  sleep 0.1
done

session=$(printf ',\nnetwork,eth0,mtu\nsystem,identity,hostname,unit-42\nsystem,identity,hostname\nq\n' |
  in_root quenlo 2>/dev/null)
echo "$session"
kill -TERM "$server"
wait "$server" || true
server=
cat "$root/tmp/cfgserver.log"
for expected in "    network" "    1500    status = ok" "    unit-42    status = ok"; do
  grep -qxF -- "$expected" <<<"$session" || { echo "FAILED: no line '$expected'" >&2; exit 1; }
done
[[ -f $root/var/lib/cfgserver/config.db ]] || { echo "FAILED: no /var/lib/cfgserver/config.db" >&2; exit 1; }
grep -q "stopped with exit status 0" "$root/tmp/cfgserver.log" || { echo "FAILED: no clean stop" >&2; exit 1; }
echo "fresh Debian 12 root: package installed, server and console work together"
