#!/usr/bin/env bash
# Installs Debian's PowerPC cross toolchain, qemu user-mode emulation and the
# host tools the dependency builds need. Skips apt entirely when everything is
# already installed. Needs root.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

required_packages=(
  g++-powerpc-linux-gnu      # cross C++ compiler (project, ACE, GoogleTest)
  gcc-powerpc-linux-gnu      # cross C compiler (SQLite)
  libc6-dev-powerpc-cross    # target libc headers and the sysroot qemu loads from
  qemu-user                  # qemu-ppc runs the target binaries and tests
  dpkg-dev                   # apt-get source unpacks with dpkg-source
  xz-utils
  perl                       # ACE generates its makefiles with MPC
  tcl                        # SQLite generates its amalgamation with tclsh
  gcc make                   # host tools for the SQLite amalgamation
  cmake pkg-config
  googletest                 # GoogleTest sources in /usr/src/googletest
  file
  g++ libace-dev libsqlite3-dev  # native programs for the mixed byte-order sessions
)

missing_packages() {
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      echo "$package"
    fi
  done
}

mapfile -t missing < <(missing_packages "${required_packages[@]}")
if [[ ${#missing[@]} -eq 0 ]]; then
  cross_log "toolchain and tools already installed"
  exit 0
fi

[[ $(id -u) -eq 0 ]] || cross_die "installing ${missing[*]} needs root"
cross_log "installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
