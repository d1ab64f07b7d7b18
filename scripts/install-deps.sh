#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, and any
# further packages named as arguments; installs nothing (and needs no
# network) when they are all present already.
set -euo pipefail

packages=(build-essential cmake pkg-config libace-dev libsqlite3-dev libpcre2-dev nettle-dev nlohmann-json3-dev googletest libgtest-dev libgmock-dev
  libsystemd-dev man-db groff-base systemd "$@")

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
