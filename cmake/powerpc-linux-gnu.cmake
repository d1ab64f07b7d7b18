# Toolchain for the target: 32-bit big-endian PowerPC Linux, with Debian's
# powerpc-linux-gnu cross compilers.
#
# The cross-built ACE, SQLite, GoogleTest, PCRE2 and nettle come from
# scripts/cross/build-deps.sh and live in QUENLO_CROSS_PREFIX (default
# $QUENLO_CROSS_CACHE/powerpc-linux-gnu, $QUENLO_CROSS_CACHE defaulting to
# /var/cache/quenlo-cross). They are static libraries, so the target programs
# need only the C and C++ runtime at run time.
#
# Target programs and tests run on the build machine through qemu-ppc, which
# loads the target's dynamic loader and libraries from the cross sysroot.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR powerpc)

set(QUENLO_CROSS_TRIPLET powerpc-linux-gnu)
set(QUENLO_CROSS_SYSROOT /usr/${QUENLO_CROSS_TRIPLET})

if(NOT QUENLO_CROSS_PREFIX)
  if(DEFINED ENV{QUENLO_CROSS_PREFIX})
    set(QUENLO_CROSS_PREFIX "$ENV{QUENLO_CROSS_PREFIX}")
  elseif(DEFINED ENV{QUENLO_CROSS_CACHE})
    set(QUENLO_CROSS_PREFIX "$ENV{QUENLO_CROSS_CACHE}/${QUENLO_CROSS_TRIPLET}")
  else()
    set(QUENLO_CROSS_PREFIX "/var/cache/quenlo-cross/${QUENLO_CROSS_TRIPLET}")
  endif()
endif()
set(QUENLO_CROSS_PREFIX "${QUENLO_CROSS_PREFIX}" CACHE PATH
  "Install root of the cross-built dependencies")
# try_compile projects read this file again without the cache.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUENLO_CROSS_PREFIX)

set(CMAKE_C_COMPILER ${QUENLO_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${QUENLO_CROSS_TRIPLET}-g++)

# Libraries, headers and CMake packages come only from the dependency prefix
# and the cross sysroot; build tools still come from the host.
set(CMAKE_FIND_ROOT_PATH ${QUENLO_CROSS_PREFIX} ${QUENLO_CROSS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must never hand the host's ACE, PCRE2 or nettle to the target build.
set(ENV{PKG_CONFIG_LIBDIR} "${QUENLO_CROSS_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
unset(ENV{PKG_CONFIG_SYSROOT_DIR})

find_program(QUENLO_QEMU_PPC qemu-ppc)
if(NOT QUENLO_QEMU_PPC)
  message(FATAL_ERROR "qemu-ppc not found: install Debian's qemu-user (scripts/cross/install-toolchain.sh)")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUENLO_QEMU_PPC};-L;${QUENLO_CROSS_SYSROOT})
