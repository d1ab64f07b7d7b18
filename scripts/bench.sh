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
cmake --build "$build" -j"$(nproc)" --target cfgserver quenlo cfgbench anchors startup hello >/dev/null
server_program="$build/platform/cfgserver/cfgserver"
cfgbench="$build/bench/cfgbench"
anchors="$build/bench/anchors"

if [ "$quick" -eq 1 ]; then
  reads=2000 writes=200 lists=20 big_lists=10 size_reads=500 run_ms=1000 starts=5 sizes="1000 100000"
else
  reads=20000 writes=1000 lists=200 big_lists=50 size_reads=5000 run_ms=3000 starts=30 sizes="1000 100000 1000000"
fi
big_section=10000   # keys in the section whose listing is measured
sets=10             # sets of the listing databases, each of ...
sections=100        # ... this many sections
key=key000000       # a key every generated section holds
rounds=5            # turns of the concurrent writers
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

# One measurement: the program's output line(s), or "failed" words.
measure() { timeout "$limit" "$@" || { note "failed: ${*##*/}"; printf 'failed failed\nfailed\n'; }; }

# --- Formatting: a latency "MEDIAN P99" in microseconds, a rate per second.
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
row() { rows+=("$(printf '%-34s %-26s %-40s %-26s %s' "$@")"); }

# Runs "anchors SERVER_MODE SOCKET" in the background until stop_anchor.
start_anchor() {
  "$anchors" "$1" "$work/$1" &
  anchor_server=$!
  await_socket "$work/$1" "$anchor_server" 10 || { note "anchors $1 did not start"; exit 1; }
}
stop_anchor() { stop "$anchor_server"; anchor_server=""; }

# --- Requests on a database holding one section of $big_section keys, each
# measured right after its anchor, so that both meet the same load.
mkdir -p "$work/requests/ini"
generate_ini "$work/requests/ini/bench.ini" big 1 "$big_section"
start_server requests

note "get, against a bare ping-pong"
start_anchor pingpong-server
read -r pingpong_median pingpong_p99 < <(measure "$anchors" pingpong "$work/pingpong-server" "$reads")
stop_anchor
read -r get_median get_p99 < <(measure "$cfgbench" get bench big "$key" "$reads")

note "listing a section, against SQLite in process"
read -r sqlite_median sqlite_p99 < <(measure "$anchors" sqlite-list "$work" "$big_section" "$big_lists")
read -r list_median list_p99 < <(measure "$cfgbench" list-keys bench big "$big_lists")

note "writes, against write + fdatasync beside the database"
read -r sync_median sync_p99 < <(measure "$anchors" fsync "$work/requests" "$writes")
read -r write_median write_p99 < <(measure "$cfgbench" write bench writes "$writes")
# The disk's pace drifts with other load: the writer counts take turns, in
# short rounds, and each rate is the median of its rounds.
declare -A writer_rounds=() writer_rate=() writer_failed=([1]=0 [8]=0 [50]=0)
for _ in $(seq "$rounds"); do
  for writers in 1 8 50; do
    read -r round_rate round_failed < <(measure "$cfgbench" writers bench writes "$writers" $((run_ms / rounds)))
    writer_rounds[$writers]+=" $round_rate"
    [[ "$round_failed" =~ ^[0-9]+$ ]] && writer_failed[$writers]=$((writer_failed[$writers] + round_failed))
  done
done
for writers in 1 8 50; do
  writer_rate[$writers]=$(printf '%s\n' ${writer_rounds[$writers]} | sort -n |
    awk '{ rate[NR] = $1 } /failed/ { bad = 1 } END { print bad ? "failed" : rate[int((NR + 1) / 2)] }')
done

note "concurrent readers, against an epoll echo server"
start_anchor echo-server
read -r echo_rate echo_failed < <(measure "$anchors" echo-clients "$work/echo-server" 64 "$run_ms")
stop_anchor
read -r reader_rate reader_failed < <(measure "$cfgbench" readers bench big "$key" 64 "$run_ms")

note "start-up, against a hello world"
{ read -r hello_median hello_p99; read -r hello_kib; } < <(measure "$build/bench/startup" exit "$starts" "$build/bench/hello")
{ read -r start_median start_p99; read -r start_kib; } < <(measure "$build/bench/startup" prompt "$starts" "$build/app/quenlo")
stop_server

row "get (point read)" "$(latency "$get_median" "$get_p99")" "bare ping-pong, 2 processes, UNIX socket" \
  "$(latency "$pingpong_median" "$pingpong_p99")" "$(ratio "$get_median" "$pingpong_median")"
row "list a section of $(grouped "$big_section") keys" "$(latency "$list_median" "$list_p99")" "SQLite listing the same rows in process" \
  "$(latency "$sqlite_median" "$sqlite_p99")" "$(ratio "$list_median" "$sqlite_median")"
row "write one value (durable)" "$(latency "$write_median" "$write_p99")" "append 4 KiB + fdatasync, same directory" \
  "$(latency "$sync_median" "$sync_p99")" "$(ratio "$write_median" "$sync_median")"
sync_rate=$(awk -v m="$sync_median" 'BEGIN { if (m ~ /^[0-9.]+$/ && m > 0) printf "%.0f", 1e6 / m; else print "failed" }')
row "1 writer" "$(rate "${writer_rate[1]}" "${writer_failed[1]}")" "write + fdatasync loop (1 / median)" \
  "$(rate "$sync_rate")" "$(ratio "${writer_rate[1]}" "$sync_rate")"
for writers in 8 50; do
  row "$writers concurrent writers" "$(rate "${writer_rate[$writers]}" "${writer_failed[$writers]}")" "1 writer" \
    "$(rate "${writer_rate[1]}")" "$(ratio "${writer_rate[$writers]}" "${writer_rate[1]}")"
done
row "64 concurrent readers" "$(rate "$reader_rate" "$reader_failed")" "bare epoll echo server, 64 clients" \
  "$(rate "$echo_rate" "$echo_failed")" "$(ratio "$reader_rate" "$echo_rate")"

# --- Listings on databases of $sets sets of $sections sections each.
for size in $sizes; do
  note "listings among $size keys"
  mkdir -p "$work/keys$size/ini"
  for number in $(seq 0 $((sets - 1))); do
    generate_ini "$work/keys$size/ini/set$number.ini" section "$sections" $((size / sets / sections))
  done
  start_server "keys$size"
  read -r point_median point_p99 < <(measure "$cfgbench" get set0 section000 "$key" "$size_reads")
  read -r sets_median sets_p99 < <(measure "$cfgbench" list-sets "$lists")
  read -r sections_median sections_p99 < <(measure "$cfgbench" list-sections set0 "$lists")
  stop_server
  rm -rf "$work/keys$size"
  keys=$(grouped "$size")
  row "list $sets sets, $keys keys" "$(latency "$sets_median" "$sets_p99")" "get, same database" \
    "$(latency "$point_median" "$point_p99")" "$(ratio "$sets_median" "$point_median")"
  row "list $sections sections, $keys keys" "$(latency "$sections_median" "$sections_p99")" "get, same database" \
    "$(latency "$point_median" "$point_p99")" "$(ratio "$sections_median" "$point_median")"
done

row "quenlo, exec to first prompt" "$(latency "$start_median" "$start_p99")" "C++ hello world, exec to exit" \
  "$(latency "$hello_median" "$hello_p99")" "$(ratio "$start_median" "$hello_median")"
row "quenlo, resident at first prompt" "${start_kib} KiB" "hello world, peak resident" "${hello_kib} KiB" \
  "$(ratio "$start_kib" "$hello_kib")"

echo
echo "quenlo bench, $(date -u '+%Y-%m-%d %H:%M UTC'), $(uname -m), $(nproc) cores, load average $load," \
  "$([ "$quick" -eq 1 ] && echo quick || echo full) run"
echo "latencies: median (99th percentile); ratio: figure / anchor"
echo
printf '%-34s %-26s %-40s %-26s %s\n' figure value anchor value ratio
printf '%s\n' "${rows[@]}"
