#!/usr/bin/env bash
# Cross-builds the project's dependencies for the target from Debian's own
# sources and installs them under $QUENLO_CROSS_PREFIX:
#   ACE         libACE only (static), from the `ace` source package, with a
#               relocatable ACE.pc for pkg-config;
#   SQLite      the amalgamation of the `sqlite3` source package as a static
#               libsqlite3, compiled with Debian's own SQLITE_* options;
#   GoogleTest  gtest, gtest_main, gmock, gmock_main from /usr/src/googletest;
#   PCRE2       the 8-bit library only (static, no JIT), from the `pcre2`
#               source package, with a libpcre2-8.pc for pkg-config;
#   nettle      libnettle only (static, no public-key half, so no GMP; C
#               code, no assembly), from the `nettle` source package, with a
#               nettle.pc for pkg-config;
#   nlohmann    JSON for Modern C++ (header-only, the same on every
#               architecture): the host's nlohmann-json3-dev headers and
#               CMake package files, copied rather than built.
# Each dependency is built once. Its stamp file records the source version,
# the cross compiler and the recipe revision; a run whose stamp matches skips
# it, so only a new Debian version or a changed recipe rebuilds.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

# Bump a revision when its recipe below changes in a way that alters the result.
readonly ACE_RECIPE_REVISION=1
readonly SQLITE_RECIPE_REVISION=1
readonly GTEST_RECIPE_REVISION=1
readonly PCRE2_RECIPE_REVISION=1
readonly NETTLE_RECIPE_REVISION=1
readonly NLOHMANN_JSON_RECIPE_REVISION=1

# The private source lists are refreshed when older than this, so a warm run
# needs no network.
readonly SOURCE_LISTS_MAX_AGE_MINUTES=1440

apt_dir=${QUENLO_CROSS_CACHE}/apt
work_root=${QUENLO_CROSS_CACHE}/work
stamp_dir=${QUENLO_CROSS_CACHE}/stamps
prefix=${QUENLO_CROSS_PREFIX}

private_apt_options=(
  -o "Dir::Etc::SourceList=${apt_dir}/sources.list"
  -o "Dir::Etc::SourceParts=${apt_dir}/sources.list.d"
  -o "Dir::State::Lists=${apt_dir}/lists"
  # The downloads land in our own directories, which _apt cannot read.
  -o "APT::Sandbox::User=root"
)

private_apt_get() { apt-get -q "${private_apt_options[@]}" "$@"; }
private_apt_cache() { apt-cache "${private_apt_options[@]}" "$@"; }

# deb-src entries mirror the machine's own deb entries; /etc is left alone.
write_private_sources() {
  mkdir -p "${apt_dir}/sources.list.d" "${apt_dir}/lists/partial"
  rm -f "${apt_dir}/sources.list.d/"*
  : > "${apt_dir}/sources.list"
  local file
  for file in /etc/apt/sources.list.d/*.sources; do
    [[ -e $file ]] || continue
    sed -E 's/^Types:.*/Types: deb-src/' "$file" > "${apt_dir}/sources.list.d/$(basename "$file")"
  done
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -e $file ]] || continue
    sed -n -E 's/^deb([[:space:]])/deb-src\1/p' "$file" >> "${apt_dir}/sources.list"
  done
}

refresh_source_lists() {
  write_private_sources
  if [[ -n $(find "${apt_dir}/lists" -maxdepth 1 -name '*Sources*' -mmin "-${SOURCE_LISTS_MAX_AGE_MINUTES}" -print -quit) ]]; then
    return
  fi
  cross_log "updating the private source package lists"
  if private_apt_get update >/dev/null; then
    return
  fi
  # Stale lists still name the versions the stamps were made from.
  [[ -n $(find "${apt_dir}/lists" -maxdepth 1 -name '*Sources*' -print -quit) ]] ||
    cross_die "cannot fetch the source package lists"
  cross_log "could not refresh the source package lists; using the old ones"
}

# The version `apt-get source --only-source <name>` would fetch, read from
# the name of its .dsc file.
source_version() {
  local name=$1 dsc
  dsc=$(private_apt_get source --only-source --print-uris "$name" | awk '$2 ~ /\.dsc$/ {print $2; exit}')
  [[ -n $dsc ]] || cross_die "no source package '$name' in the source lists"
  dsc=${dsc#"${name}_"}
  echo "${dsc%.dsc}"
}

cross_compiler_version() {
  "${QUENLO_CROSS_TRIPLET}-g++" --version | head -n 1
}

stamp_is_current() {
  local name=$1 key=$2
  [[ -f ${stamp_dir}/${name} && $(cat "${stamp_dir}/${name}") == "$key" ]]
}

write_stamp() {
  mkdir -p "$stamp_dir"
  printf '%s\n' "$2" > "${stamp_dir}/$1"
}

# The versions of a source package the lists name, newest first.
listed_versions() {
  private_apt_cache showsrc "$1" 2>/dev/null |
    awk -v name="$1" '$1 == "Package:" { package = $2 } $1 == "Version:" && package == name { print $2 }' |
    sort -u | sort -r -V
}

# Fetches and unpacks a source package into a fresh work directory; prints
# the unpacked tree's path. The newest listed version comes first; when a
# mirror does not serve its files (an update listed before its sources are
# out), the newest older one that it serves is built instead, and said so.
# The stamp still names the newest listed version, so a later run rebuilds
# only when the lists change.
fetch_source() {
  local name=$1 work=${work_root}/$1 newest version
  newest=$(source_version "$name")
  for version in $(listed_versions "$name"); do
    rm -rf "$work"
    mkdir -p "$work"
    (cd "$work" && private_apt_get source --only-source "${name}=${version}" >/dev/null 2>&1) || continue
    [[ $version == "$newest" ]] || cross_log "${name} ${newest} is not served; building ${version}" >&2
    find "$work" -mindepth 1 -maxdepth 1 -type d -name "${name}-*" -print -quit
    return
  done
  cross_die "apt-get source --only-source $name failed"
}

build_ace() {
  local version key tree
  version=$(source_version ace)
  key="ace ${version}; $(cross_compiler_version); recipe ${ACE_RECIPE_REVISION}"
  if stamp_is_current ace "$key"; then
    cross_log "ACE ${version}: cached"
    return
  fi
  cross_log "ACE ${version}: building libACE"
  tree=$(fetch_source ace)
  export ACE_ROOT=$tree MPC_ROOT=$tree/MPC
  # Debian's config.h, so the target ACE has the same features (IPv6,
  # inlining) as the host package the native build uses.
  cp "$tree/debian/config.h" "$tree/ace/config.h"
  cat > "$tree/include/makeinclude/platform_macros.GNU" <<EOF
debug = 0
optimize = 1
inline = 1
ipv6 = 1
static_libs_only = 1
install_rpath = 0
CROSS_COMPILE = ${QUENLO_CROSS_TRIPLET}-
include \$(ACE_ROOT)/include/makeinclude/platform_linux.GNU
# The project links libACE.a into position-independent executables.
CCFLAGS += -fPIC
EOF
  # Run from inside ace/: its makefile names the install folders after $PWD.
  cd "$tree/ace"
  perl "$ACE_ROOT/bin/mpc.pl" -type gnuace ace.mpc >"${work_root}/ace-mpc.log" 2>&1
  make -f GNUmakefile.ACE -j"${QUENLO_CROSS_JOBS}" >"${work_root}/ace-build.log" 2>&1 ||
    cross_die "ACE build failed; see ${work_root}/ace-build.log"
  make -f GNUmakefile.ACE install INSTALL_PREFIX="$prefix" >"${work_root}/ace-install.log" 2>&1 ||
    cross_die "ACE install failed; see ${work_root}/ace-install.log"
  cd "$QUENLO_CROSS_REPO"
  # MPC's own files are not needed to use the library.
  rm -rf "$prefix/share/ace"
  write_ace_pkg_config "${version%%+*}"
  unset ACE_ROOT MPC_ROOT
  rm -rf "${work_root}/ace"
  write_stamp ace "$key"
}

# ACE's own ACE.pc omits the define that static users of ACE need.
write_ace_pkg_config() {
  mkdir -p "$prefix/lib/pkgconfig"
  cat > "$prefix/lib/pkgconfig/ACE.pc" <<EOF
prefix=${prefix}
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: ACE
Description: ADAPTIVE Communication Environment (static, ${QUENLO_CROSS_TRIPLET})
Version: $1
Libs: -L\${libdir} -lACE -ldl -lrt -lpthread
Cflags: -I\${includedir} -DACE_AS_STATIC_LIBS
EOF
}

# Debian's SQLITE_* compile options, so the target library behaves like the
# host's libsqlite3.
debian_sqlite_options() {
  grep -o -E -- '-DSQLITE_[A-Z0-9_]+(=[0-9]+)?' "$1/debian/rules" | sort -u
}

build_sqlite() {
  local version key tree build options
  version=$(source_version sqlite3)
  key="sqlite3 ${version}; $(cross_compiler_version); recipe ${SQLITE_RECIPE_REVISION}"
  if stamp_is_current sqlite3 "$key"; then
    cross_log "SQLite ${version}: cached"
    return
  fi
  cross_log "SQLite ${version}: building the amalgamation"
  tree=$(fetch_source sqlite3)
  build=${work_root}/sqlite3/build
  mkdir -p "$build"
  # The amalgamation is generated by host tools; only sqlite3.c is cross-compiled.
  (cd "$build" && "$tree/configure" --disable-tcl >configure.log 2>&1 &&
    make -j"${QUENLO_CROSS_JOBS}" sqlite3.c >make.log 2>&1) ||
    cross_die "generating the SQLite amalgamation failed; see $build"
  mapfile -t options < <(debian_sqlite_options "$tree")
  "${QUENLO_CROSS_TRIPLET}-gcc" -O2 -fPIC -fno-strict-aliasing "${options[@]}" \
    -c "$build/sqlite3.c" -o "$build/sqlite3.o"
  mkdir -p "$prefix/lib/pkgconfig" "$prefix/include"
  rm -f "$prefix/lib/libsqlite3.a"
  "${QUENLO_CROSS_TRIPLET}-ar" rcs "$prefix/lib/libsqlite3.a" "$build/sqlite3.o"
  install -m 644 "$build/sqlite3.h" "$tree/src/sqlite3ext.h" "$prefix/include/"
  cat > "$prefix/lib/pkgconfig/sqlite3.pc" <<EOF
prefix=${prefix}
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: SQLite
Description: SQL database engine (static, ${QUENLO_CROSS_TRIPLET})
Version: ${version%%-*}
Libs: -L\${libdir} -lsqlite3 -ldl -lm -lpthread
Cflags: -I\${includedir}
EOF
  rm -rf "${work_root}/sqlite3"
  write_stamp sqlite3 "$key"
}

build_gtest() {
  local version key build
  version=$(dpkg-query -W -f='${Version}' googletest)
  key="googletest ${version}; $(cross_compiler_version); recipe ${GTEST_RECIPE_REVISION}"
  if stamp_is_current googletest "$key"; then
    cross_log "GoogleTest ${version}: cached"
    return
  fi
  cross_log "GoogleTest ${version}: building"
  build=${work_root}/googletest
  rm -rf "$build"
  cmake -S /usr/src/googletest -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="${QUENLO_CROSS_TOOLCHAIN_FILE}" \
    -DQUENLO_CROSS_PREFIX="$prefix" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
    -DBUILD_GMOCK=ON >"${work_root}/googletest-configure.log" 2>&1 ||
    cross_die "GoogleTest configure failed; see ${work_root}/googletest-configure.log"
  cmake --build "$build" -j"${QUENLO_CROSS_JOBS}" >"${work_root}/googletest-build.log" 2>&1 ||
    cross_die "GoogleTest build failed; see ${work_root}/googletest-build.log"
  cmake --install "$build" >/dev/null
  rm -rf "$build"
  write_stamp googletest "$key"
}

# PCRE2's 8-bit library for the schemas' patterns: no JIT (the interpreter's
# match limits bound every match), no pcre2grep, no POSIX wrapper.
build_pcre2() {
  local version key tree build
  version=$(source_version pcre2)
  key="pcre2 ${version}; $(cross_compiler_version); recipe ${PCRE2_RECIPE_REVISION}"
  if stamp_is_current pcre2 "$key"; then
    cross_log "PCRE2 ${version}: cached"
    return
  fi
  cross_log "PCRE2 ${version}: building the 8-bit library"
  tree=$(fetch_source pcre2)
  build=${work_root}/pcre2/build
  cmake -S "$tree" -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="${QUENLO_CROSS_TOOLCHAIN_FILE}" \
    -DQUENLO_CROSS_PREFIX="$prefix" \
    -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON -DPCRE2_STATIC_PIC=ON \
    -DPCRE2_BUILD_PCRE2_8=ON -DPCRE2_BUILD_PCRE2_16=OFF -DPCRE2_BUILD_PCRE2_32=OFF \
    -DPCRE2_SUPPORT_JIT=OFF -DPCRE2_BUILD_PCRE2GREP=OFF -DPCRE2_BUILD_TESTS=OFF \
    >"${work_root}/pcre2-configure.log" 2>&1 ||
    cross_die "PCRE2 configure failed; see ${work_root}/pcre2-configure.log"
  cmake --build "$build" --target pcre2-8-static -j"${QUENLO_CROSS_JOBS}" >"${work_root}/pcre2-build.log" 2>&1 ||
    cross_die "PCRE2 build failed; see ${work_root}/pcre2-build.log"
  mkdir -p "$prefix/lib/pkgconfig" "$prefix/include"
  install -m 644 "$build/libpcre2-8.a" "$prefix/lib/"
  install -m 644 "$build/pcre2.h" "$prefix/include/"
  cat > "$prefix/lib/pkgconfig/libpcre2-8.pc" <<EOF
prefix=${prefix}
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: libpcre2-8
Description: PCRE2 with 8-bit code units (static, no JIT, ${QUENLO_CROSS_TRIPLET})
Version: ${version%%-*}
Libs: -L\${libdir} -lpcre2-8
Cflags: -I\${includedir} -DPCRE2_STATIC
EOF
  rm -rf "${work_root}/pcre2"
  write_stamp pcre2 "$key"
}

# nettle's hashes for cfgctl digest: libnettle alone. Its public-key half
# (libhogweed) would need GMP; the C code needs no assembler of the target's
# and builds its tables with host tools (CC_FOR_BUILD).
build_nettle() {
  local version key tree build
  version=$(source_version nettle)
  key="nettle ${version}; $(cross_compiler_version); recipe ${NETTLE_RECIPE_REVISION}"
  if stamp_is_current nettle "$key"; then
    cross_log "nettle ${version}: cached"
    return
  fi
  cross_log "nettle ${version}: building libnettle"
  tree=$(fetch_source nettle)
  build=${work_root}/nettle/build
  mkdir -p "$build"
  # -fPIC: the project links libnettle.a into position-independent executables.
  (cd "$build" && "$tree/configure" --host="${QUENLO_CROSS_TRIPLET}" --build="$(gcc -dumpmachine)" \
    CC="${QUENLO_CROSS_TRIPLET}-gcc" CC_FOR_BUILD=gcc CFLAGS="-O2 -fPIC" \
    --prefix="$prefix" --libdir="$prefix/lib" \
    --disable-shared --enable-static --disable-public-key --disable-assembler --disable-fat \
    --disable-openssl --disable-documentation >"${work_root}/nettle-configure.log" 2>&1) ||
    cross_die "nettle configure failed; see ${work_root}/nettle-configure.log"
  make -C "$build" -j"${QUENLO_CROSS_JOBS}" libnettle.a >"${work_root}/nettle-build.log" 2>&1 ||
    cross_die "nettle build failed; see ${work_root}/nettle-build.log"
  rm -rf "$prefix/include/nettle"
  make -C "$build" install-headers >"${work_root}/nettle-install.log" 2>&1 ||
    cross_die "nettle install failed; see ${work_root}/nettle-install.log"
  # By hand: install-static would first remake config.h.in with autoheader,
  # Debian's patch having touched aclocal.m4.
  mkdir -p "$prefix/lib/pkgconfig"
  install -m 644 "$build/libnettle.a" "$prefix/lib/"
  cat > "$prefix/lib/pkgconfig/nettle.pc" <<EOF
prefix=${prefix}
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: Nettle
Description: Nettle's symmetric cryptography and hashes (static, ${QUENLO_CROSS_TRIPLET})
Version: ${version%%-*}
Libs: -L\${libdir} -lnettle
Cflags: -I\${includedir}
EOF
  rm -rf "${work_root}/nettle"
  write_stamp nettle "$key"
}

# nlohmann's JSON for cfgctl --json. Nothing in it is compiled for the target
# ahead of the project, so the host's package (scripts/install-deps.sh) is
# copied as it is; its CMake files find the headers relative to themselves.
readonly NLOHMANN_JSON_PACKAGE=nlohmann-json3-dev

build_nlohmann_json() {
  local version key
  version=$(dpkg-query -W -f='${Version}' "$NLOHMANN_JSON_PACKAGE" 2>/dev/null) || version=""
  [[ -n $version && -d /usr/include/nlohmann && -d /usr/share/cmake/nlohmann_json ]] ||
    cross_die "${NLOHMANN_JSON_PACKAGE} is not installed; run scripts/install-deps.sh"
  key="${NLOHMANN_JSON_PACKAGE} ${version}; recipe ${NLOHMANN_JSON_RECIPE_REVISION}"
  if stamp_is_current nlohmann_json "$key"; then
    cross_log "nlohmann-json ${version}: cached"
    return
  fi
  cross_log "nlohmann-json ${version}: copying the host's headers"
  rm -rf "$prefix/include/nlohmann" "$prefix/share/cmake/nlohmann_json"
  mkdir -p "$prefix/include" "$prefix/share/cmake"
  cp -R /usr/include/nlohmann "$prefix/include/"
  cp -R /usr/share/cmake/nlohmann_json "$prefix/share/cmake/"
  write_stamp nlohmann_json "$key"
}

main() {
  mkdir -p "$QUENLO_CROSS_CACHE" "$work_root"
  # Two runs at once would build into the same prefix.
  exec 9>"${QUENLO_CROSS_CACHE}/.lock"
  flock 9
  refresh_source_lists
  build_ace
  build_sqlite
  build_gtest
  build_pcre2
  build_nettle
  build_nlohmann_json
  cross_log "dependencies ready in $prefix"
}

main "$@"
