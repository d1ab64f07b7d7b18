#!/usr/bin/env bash
# Measures what the server's requests cost and prints each figure beside an
# anchor measured in the same run (what the kernel, the disk or SQLite cost
# with nothing of ours in between), and the ratio of the two.
#
#   scripts/bench.sh [--quick]
#
# --quick: fewer repetitions and no database of 1,000,000 keys; under a
# minute once built. Builds what it needs in build/release; every server
# runs on a database of its own in a temporary directory, removed at the end.
#
# A figure and its anchor take turns in rounds, so that both meet the same
# load from anything else on the machine; each is the median of its rounds.
set -euo pipefail

quick=0
case "${1:-}" in
  --quick) quick=1 ;;
  "") ;;
  *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac

top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/release"
"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUENLO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target cfgserver quenlo cfgctl cfgbench anchors startup hello >/dev/null
server_program="$build/platform/cfgserver/cfgserver"
cfgbench="$build/bench/cfgbench"
anchors="$build/bench/anchors"
startup="$build/bench/startup"

# Counts are per measurement, spread over its rounds.
if [ "$quick" -eq 1 ]; then
  rounds=3 reads=3000 writes=150 lists=15 big_lists=15 run_ms=900 starts=15 sizes="1000 100000"
else
  rounds=5 reads=20000 writes=1000 lists=150 big_lists=50 run_ms=5000 starts=100 sizes="1000 100000 1000000"
fi
big_section=10000   # keys in the section whose listing is measured
sets=10             # sets of the listing databases, each of ...
sections=100        # ... this many sections
key=key000000       # a key every generated section holds
limit=600           # seconds any one measuring program may take

load=$(cut -d' ' -f1-3 /proc/loadavg)
work=$(mktemp -d "${TMPDIR:-/tmp}/quenlo-bench.XXXXXX")
server=""
anchor_server=""

# Stops a process we started: SIGTERM, then SIGKILL after 10 seconds.
stop() {
  local pid=$1
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
cleanup() {
  [ -z "$server" ] || stop "$server"
  [ -z "$anchor_server" ] || stop "$anchor_server"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

note() { echo "bench: $*" >&2; }

# Waits until the socket exists, as long as the process lives (seconds at most).
await_socket() {
  local socket=$1 pid=$2 seconds=$3
  for _ in $(seq $((seconds * 10))); do
    [ -S "$socket" ] && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# An INI file of sections "NAME" (one) or "NAME000"... (several), each of
# keys key000000... with values "value N", as anchors sqlite-list makes them.
generate_ini() {
  awk -v name="$2" -v sections="$3" -v keys="$4" 'BEGIN {
    for (s = 0; s < sections; s++) {
      if (sections == 1) print "[" name "]"; else printf "[%s%03d]\n", name, s
      for (k = 0; k < keys; k++) printf "key%06d = value %d\n", k, k
    }
  }' >"$1"
}

# Starts a server on a database of its own in $work/NAME, importing the
# INI files of $work/NAME/ini, and points the client library at it.
start_server() {
  local place="$work/$1" imports=()
  for file in "$place"/ini/*.ini; do [ -e "$file" ] && imports+=(--import "$file"); done
  "$server_program" --runtime-dir "$place/run" --database "$place/config.db" "${imports[@]}" 2>"$place/server.log" &
  server=$!
  export CFGSERVER_RUNTIME_DIR="$place/run"
  if ! await_socket "$place/run/CfgServer-ReadFifo" "$server" 600; then
    note "the server did not start:"; cat "$place/server.log" >&2; exit 1
  fi
}
stop_server() { stop "$server"; server=""; }

# Runs "anchors SERVER_MODE SOCKET" in the background until stop_anchor.
start_anchor() {
  "$anchors" "$1" "$work/$1" &
  anchor_server=$!
  await_socket "$work/$1" "$anchor_server" 10 || { note "anchors $1 did not start"; exit 1; }
}
stop_anchor() { stop "$anchor_server"; anchor_server=""; }

# One measurement: the program's line, or "failed" words.
measure() { timeout "$limit" "$@" || { note "failed: ${*##*/}"; echo "failed failed failed"; }; }

# by_turns TOTAL MEASUREMENT...: runs each MEASUREMENT (a function taking a
# count) with TOTAL / rounds, by turns, $rounds times. Leaves in first[M] and
# second[M] the medians of the first and second words of its lines (median
# and p99 of a latency; a rate), in failed[M] the sum of the second words (a
# rate's failures), in third[M] the last round's third word.
declare -A first second third failed
by_turns() {
  local each=$(( ($1 + rounds - 1) / rounds )) measurement
  shift
  declare -A lines=()
  for _ in $(seq "$rounds"); do
    for measurement in "$@"; do lines[$measurement]+="$("$measurement" "$each")"$'\n'; done
  done
  for measurement in "$@"; do
    first[$measurement]=$(median_of "${lines[$measurement]}" 1)
    second[$measurement]=$(median_of "${lines[$measurement]}" 2)
    failed[$measurement]=$(sum_of "${lines[$measurement]}" 2)
    third[$measurement]=$(printf '%s' "${lines[$measurement]}" | awk 'END { print $3 }')
  done
}
median_of() {
  printf '%s' "$1" | awk -v column="$2" '{ print $column }' | sort -n |
    awk '{ value[NR] = $1 } !/^[0-9.]+$/ { bad = 1 }
      END { print (bad || NR == 0) ? "failed" : value[int((NR + 1) / 2)] }'
}
sum_of() { printf '%s' "$1" | awk -v column="$2" '$column ~ /^[0-9]+$/ { sum += $column } END { print sum + 0 }'; }

# --- Formatting: a latency in microseconds, a rate per second.
latency() {
  awk -v m="$1" -v p="$2" 'function t(u) { return u >= 1000 ? sprintf("%.2f ms", u / 1000) : sprintf("%.1f us", u) }
    BEGIN { if (m !~ /^[0-9.]+$/) print "failed"; else printf "%s (p99 %s)\n", t(m), t(p) }'
}
rate() {
  awk -v r="$1" -v f="${2:-0}" 'BEGIN { if (r !~ /^[0-9.]+$/) { print "failed"; exit }
    printf "%d/s", r; if (f != 0) printf " (%s failed)", f; printf "\n" }'
}
ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN { if (a !~ /^[0-9.]+$/ || b !~ /^[0-9.]+$/ || b == 0) print "-";
    else if (a / b >= 100) printf "%.0fx\n", a / b; else printf "%.2fx\n", a / b }'
}
grouped() { echo "$1" | sed ':a; s/\B[0-9]\{3\}\>/,&/; ta'; }  # 1000000 -> 1,000,000

rows=()
row() { rows+=("$(printf '%-34s %-26s %-42s %-26s %s' "$@")"); }
latency_row() {  # latency_row FIGURE_TEXT FIGURE ANCHOR_TEXT ANCHOR
  row "$1" "$(latency "${first[$2]}" "${second[$2]}")" "$3" "$(latency "${first[$4]}" "${second[$4]}")" \
    "$(ratio "${first[$2]}" "${first[$4]}")"
}

# The measurements, each a function of its count (or milliseconds).
pingpong() { measure "$anchors" pingpong "$work/pingpong-server" "$1"; }
get_value() { measure "$cfgbench" get bench big "$key" "$1"; }
sqlite_list() { measure "$anchors" sqlite-list "$work" "$big_section" "$1"; }
list_keys() { measure "$cfgbench" list-keys bench big "$1"; }
synced_write() { measure "$anchors" fsync "$work/requests" "$1"; }
synced_loop() { measure "$anchors" fsync-loop "$work/requests" "$1"; }
durable_write() { measure "$cfgbench" write bench writes "$1"; }
writers_1() { measure "$cfgbench" writers bench writes 1 "$1"; }
writers_8() { measure "$cfgbench" writers bench writes 8 "$1"; }
writers_50() { measure "$cfgbench" writers bench writes 50 "$1"; }
echo_clients() { measure "$anchors" echo-clients "$work/echo-server" 64 "$1"; }
readers() { measure "$cfgbench" readers bench big "$key" 64 "$1"; }
hello_world() { measure "$startup" exit "$1" "$build/bench/hello"; }
console_start() { measure "$startup" prompt "$1" "$build/app/quenlo"; }
cfgctl_get() { measure "$startup" exit "$1" "$build/cfgctl/cfgctl" get bench big "$key"; }
point_read() { measure "$cfgbench" get set0 section000 "$key" $(($1 * 10)); }  # cheap: more of them
list_sets() { measure "$cfgbench" list-sets "$1"; }
list_sections() { measure "$cfgbench" list-sections set0 "$1"; }

# --- Requests on a database holding one section of $big_section keys.
mkdir -p "$work/requests/ini"
generate_ini "$work/requests/ini/bench.ini" big 1 "$big_section"
start_server requests

note "get, against a bare ping-pong"
start_anchor pingpong-server
by_turns "$reads" pingpong get_value
stop_anchor
latency_row "get (point read)" get_value "bare ping-pong, 2 processes, UNIX socket" pingpong

note "listing a section, against SQLite in process"
by_turns "$big_lists" sqlite_list list_keys
latency_row "list a section of $(grouped "$big_section") keys" list_keys "SQLite listing the same rows in process" \
  sqlite_list

note "writes, against write + fdatasync beside the database"
by_turns "$writes" synced_write durable_write
latency_row "write one value (durable)" durable_write "rewrite 4 KiB + fdatasync, same directory" synced_write

note "concurrent writers, against a write + fdatasync loop"
# The disk's pace drifts most with other load: twice the rounds, each shorter.
rounds=$((rounds * 2)) by_turns "$((run_ms * 2))" synced_loop writers_1 writers_8 writers_50
row "1 writer" "$(rate "${first[writers_1]}" "${failed[writers_1]}")" "rewrite 4 KiB + fdatasync, a loop" \
  "$(rate "${first[synced_loop]}" "${failed[synced_loop]}")" "$(ratio "${first[writers_1]}" "${first[synced_loop]}")"
for writers in 8 50; do
  row "$writers concurrent writers" "$(rate "${first[writers_$writers]}" "${failed[writers_$writers]}")" "1 writer" \
    "$(rate "${first[writers_1]}")" "$(ratio "${first[writers_$writers]}" "${first[writers_1]}")"
done

note "concurrent readers, against an epoll echo server"
start_anchor echo-server
by_turns "$run_ms" echo_clients readers
stop_anchor
row "64 concurrent readers" "$(rate "${first[readers]}" "${failed[readers]}")" "bare epoll echo server, 64 clients" \
  "$(rate "${first[echo_clients]}" "${failed[echo_clients]}")" "$(ratio "${first[readers]}" "${first[echo_clients]}")"

note "start-up, against a hello world"
by_turns "$starts" hello_world console_start cfgctl_get
stop_server
latency_row "quenlo, exec to first prompt" console_start "C++ hello world, exec to exit" hello_world
latency_row "cfgctl get, exec to exit" cfgctl_get "C++ hello world, exec to exit" hello_world
row "quenlo, resident at first prompt" "${third[console_start]} KiB" \
  "hello world, peak resident" "${third[hello_world]} KiB" \
  "$(ratio "${third[console_start]}" "${third[hello_world]}")"

# --- Listings on databases of $sets sets of $sections sections each.
for size in $sizes; do
  note "listings among $size keys"
  mkdir -p "$work/keys$size/ini"
  for number in $(seq 0 $((sets - 1))); do
    generate_ini "$work/keys$size/ini/set$number.ini" section "$sections" $((size / sets / sections))
  done
  start_server "keys$size"
  by_turns "$lists" point_read list_sets list_sections
  stop_server
  rm -rf "$work/keys$size"
  latency_row "list $sets sets, $(grouped "$size") keys" list_sets "get, same database" point_read
  latency_row "list $sections sections, $(grouped "$size") keys" list_sections "get, same database" point_read
done

echo
echo "quenlo bench, $(date -u '+%Y-%m-%d %H:%M UTC'), $(uname -m), $(nproc) cores, load average $load," \
  "$([ "$quick" -eq 1 ] && echo quick || echo full) run"
echo "latency: median (99th percentile), rate: per second, each the median of $rounds rounds" \
  "($((rounds * 2)) for the writers); ratio: figure / anchor"
echo
printf '%-34s %-26s %-42s %-26s %s\n' figure value anchor value ratio
printf '%s\n' "${rows[@]}"
