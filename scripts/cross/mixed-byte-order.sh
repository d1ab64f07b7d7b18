#!/usr/bin/env bash
# Runs the console against the server across byte orders: a big-endian
# (target, under qemu-ppc) quenlo against a little-endian (native) cfgserver,
# and a big-endian cfgserver against a little-endian quenlo. Each session must
# print exactly what the same session prints with both programs native; then
# a native server opened on the database the big-endian server wrote must
# read back what was written.
#
# Needs the cross build (test-target.sh makes it) and the native build
# dependencies (scripts/install-deps.sh). The native programs are built in
# $QUENLO_CROSS_BUILD/native.
set -euo pipefail
script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "${script_dir}/env.sh"

readonly native_build=${QUENLO_CROSS_BUILD}/native
readonly emulator=("${script_dir}/qemu-target.sh")
# qemu starts a program in well under a second here; this leaves room for a
# loaded machine without letting a broken run hang.
readonly server_start_limit_tenths=300
readonly session_limit_seconds=180

work=$(mktemp -d "${TMPDIR:-/tmp}/quenlo-mixed.XXXXXX")
server_pid=

# QUENLO_CROSS_KEEP_WORK=1 keeps the sessions' outputs, logs and databases.
cleanup() {
  stop_server
  if [[ ${QUENLO_CROSS_KEEP_WORK:-0} == 1 ]]; then
    cross_log "kept ${work}"
    return
  fi
  rm -rf "$work"
}
trap cleanup EXIT

program_in() {
  local build=$1 name=$2 program
  program=$(find "$build" -type f -name "$name" -perm -u+x -not -path '*/CMakeFiles/*' -print -quit)
  [[ -n $program ]] || cross_die "no $name in $build"
  echo "$program"
}

build_native_programs() {
  cross_log "building native quenlo and cfgserver in $native_build"
  cmake -S "$QUENLO_CROSS_REPO" -B "$native_build" -DQUENLO_BUILD_TESTS=OFF \
    >"${work}/native-configure.log" 2>&1 || {
    cat "${work}/native-configure.log" >&2
    cross_die "native configure failed (native dependencies: scripts/install-deps.sh)"
  }
  cmake --build "$native_build" -j"${QUENLO_CROSS_JOBS}" --target quenlo cfgserver >/dev/null
}

build_cross_programs() {
  [[ -f ${QUENLO_CROSS_BUILD}/CMakeCache.txt ]] ||
    cross_die "no cross build in ${QUENLO_CROSS_BUILD}: run scripts/cross/test-target.sh first"
  cmake --build "$QUENLO_CROSS_BUILD" -j"${QUENLO_CROSS_JOBS}" --target quenlo cfgserver >/dev/null
}

# start_server <run dir> <database> <command...>
start_server() {
  local runtime=$1 database=$2
  shift 2
  "$@" --runtime-dir "$runtime" --database "$database" \
    --import "${QUENLO_CROSS_REPO}/examples/network.ini" 2>>"${work}/servers.log" &
  server_pid=$!
  local tenths
  for ((tenths = 0; tenths < server_start_limit_tenths; tenths++)); do
    [[ -S ${runtime}/CfgServer-ReadFifo ]] && return
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.1
  done
  cat "${work}/servers.log" >&2
  cross_die "cfgserver did not start: $*"
}

stop_server() {
  [[ -n $server_pid ]] || return 0
  kill -TERM "$server_pid" 2>/dev/null || true
  wait "$server_pid" 2>/dev/null || true
  server_pid=
}

# The banner carries each build's compile time; everything else must match.
without_banner() {
  sed -E '/^Configurator +build /d' "$1"
}

# run_session <name> <session input> <server command> -- <client command>
# Starts a server on a fresh database, runs the console on the session input,
# stops the server; the console's output lands in $work/<name>.out and the
# database stays in $work/<name>.db.
run_session() {
  local name=$1 input=$2
  shift 2
  local server_command=() client_command=()
  while [[ $1 != -- ]]; do server_command+=("$1"); shift; done
  shift
  client_command=("$@")
  local runtime=${work}/${name}.run
  cross_log "session ${name}"
  start_server "$runtime" "${work}/${name}.db" "${server_command[@]}"
  CFGSERVER_RUNTIME_DIR=$runtime timeout "$session_limit_seconds" "${client_command[@]}" \
    <"$input" >"${work}/${name}.out" 2>>"${work}/clients.log" ||
    cross_die "quenlo failed in session ${name} (status $?)"
  stop_server
}

write_sessions() {
  # A value long enough to span several wire reads and with bytes that are
  # not ASCII, commas and inner blanks.
  local long_value
  long_value=$(printf 'ü%.0s' $(seq 300))
  cat >"${work}/write.session" <<EOF
,
network
network,eth0
network,eth0,mtu
network,eth0,mtu,9000
mixed,byte order,greeting,héllo, wörld	tab
mixed,byte order,long,${long_value}
mixed,byte order
network,eth0,mtu
network,eth0,missing
q
EOF
  cat >"${work}/read.session" <<EOF
mixed,byte order
network,eth0,mtu
q
EOF
}

# Guards against two sessions agreeing on failure, e.g. both without a server.
check_reference() {
  local output=${work}/$1.out ok_count
  ok_count=$(grep -c 'status = ok' "$output" || true)
  if grep -q 'no server' "$output" || [[ $ok_count -lt 4 ]] || ! grep -q 'héllo, wörld' "$output"; then
    cat "$output" >&2
    cross_die "the native reference session did not run as expected"
  fi
}

expect_same_output() {
  local reference=$1 candidate=$2
  if ! diff -u <(without_banner "${work}/${reference}.out") <(without_banner "${work}/${candidate}.out") \
    >"${work}/${candidate}.diff"; then
    cat "${work}/${candidate}.diff" >&2
    cross_die "session ${candidate} differs from ${reference}"
  fi
  cross_log "session ${candidate} matches ${reference}"
}

# SQLite may keep recent writes in its -wal file until a checkpoint.
copy_database() {
  local suffix
  for suffix in "" -wal -shm; do
    if [[ -e ${work}/$1.db${suffix} ]]; then
      cp "${work}/$1.db${suffix}" "${work}/$2.db${suffix}"
    fi
  done
}

main() {
  build_native_programs
  build_cross_programs
  local native_quenlo native_server cross_quenlo cross_server
  native_quenlo=$(program_in "$native_build" quenlo)
  native_server=$(program_in "$native_build" cfgserver)
  cross_quenlo=$(program_in "$QUENLO_CROSS_BUILD" quenlo)
  cross_server=$(program_in "$QUENLO_CROSS_BUILD" cfgserver)
  write_sessions

  run_session little-little "${work}/write.session" "$native_server" -- "$native_quenlo"
  check_reference little-little
  run_session big-client "${work}/write.session" "$native_server" -- "${emulator[@]}" "$cross_quenlo"
  expect_same_output little-little big-client
  run_session big-server "${work}/write.session" "${emulator[@]}" "$cross_server" -- "$native_quenlo"
  expect_same_output little-little big-server

  # The reference's database, reopened, gives the expected read-back; the
  # big-endian server's database must give the same on a native server.
  copy_database little-little reread-little
  copy_database big-server reread-big
  run_session reread-little "${work}/read.session" "$native_server" -- "$native_quenlo"
  run_session reread-big "${work}/read.session" "$native_server" -- "$native_quenlo"
  expect_same_output reread-little reread-big
  grep -q 'héllo, wörld' "${work}/reread-big.out" ||
    cross_die "the big-endian server's database lost the written value"

  cross_log "mixed byte order: every session matches its native reference"
}

main "$@"
