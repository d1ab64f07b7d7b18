#!/usr/bin/env bash
# Installs Debian's PowerPC cross toolchain, qemu user-mode emulation and the
# host tools the dependency builds need. Skips apt entirely when everything is
# already installed.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

# The native build's packages come with them: the mixed byte-order sessions
# run native programs too.
cross_packages=(
  g++-powerpc-linux-gnu      # cross C++ compiler (project, ACE, GoogleTest)
  gcc-powerpc-linux-gnu      # cross C compiler (SQLite)
  libc6-dev-powerpc-cross    # target libc headers and the sysroot qemu loads from
  qemu-user                  # qemu-ppc runs the target binaries and tests
  dpkg-dev                   # apt-get source unpacks with dpkg-source
  xz-utils
  perl                       # ACE generates its makefiles with MPC
  tcl                        # SQLite generates its amalgamation with tclsh
  file
)

"${QUENLO_CROSS_REPO}/scripts/install-deps.sh" "${cross_packages[@]}"
