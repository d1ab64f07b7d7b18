#!/bin/sh
# Runs a target (powerpc-linux-gnu) program on this machine: qemu-ppc with the
# target's dynamic loader and libraries taken from the cross sysroot.
# One word, so it can stand wherever a single command path is expected.
exec qemu-ppc -L /usr/powerpc-linux-gnu "$@"
