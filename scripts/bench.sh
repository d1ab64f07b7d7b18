#!/usr/bin/env bash
# Measures what the server's requests cost and prints each figure beside an
# anchor measured in the same run (what the kernel, the disk, SQLite or a
# Redis server cost with nothing of ours in between), the ratio of the two
# and, where the server has a goal for it, whether the goal is met.
#
#   scripts/bench.sh [--quick]
#
# --quick: fewer repetitions and no database of 1,000,000 keys; about two
# minutes once built. Builds what it needs in build/release; every server
# runs on a database of its own in a temporary directory, removed at the end.
# Installs the anchors' and counters' Debian packages (redis-server,
# strace, valgrind, linux-perf) on its first run; the Redis it starts
# listens only on a UNIX socket in that directory.
#
# A figure and its anchor take turns in rounds, so that both meet the same
# load from anything else on the machine; each is the median of its rounds.
# Latencies are measured with client and server pinned to one CPU, and
# again on two: a wake-up across CPUs costs tens of microseconds on a
# virtual machine, more than a read, and would otherwise decide the figure.
set -euo pipefail

quick=0
case "${1:-}" in
  --quick) quick=1 ;;
  "") ;;
  *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac

top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/release"
# The report is standard output: installing talks on standard error.
"$top/scripts/install-deps.sh" redis-server redis-tools strace >&2
# Optional: without valgrind no instruction counts; without perf, strace counts the system calls.
"$top/scripts/install-deps.sh" valgrind >&2 || true
"$top/scripts/install-deps.sh" linux-perf >&2 || true
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUENLO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target cfgserver quenlo cfgctl cfgbench anchors redisbench startup hello \
  >/dev/null
server_program="$build/platform/cfgserver/cfgserver"
cfgbench="$build/bench/cfgbench"
anchors="$build/bench/anchors"
redisbench="$build/bench/redisbench"
startup="$build/bench/startup"

# Counts are per measurement, spread over its rounds; traced and counted
# reads, and written values, are per server.
if [ "$quick" -eq 1 ]; then
  rounds=3 reads=3000 writes=150 lists=15 big_lists=15 run_ms=900 starts=15 sizes="1000 100000"
  traced_reads=2000 counted_reads=2000 written_values=500
else
  rounds=5 reads=20000 writes=1000 lists=150 big_lists=50 run_ms=5000 starts=100 sizes="1000 100000 1000000"
  traced_reads=4000 counted_reads=4000 written_values=2000
fi
big_section=10000   # keys in the section whose listing is measured
sets=10             # sets of the listing databases, each of ...
sections=100        # ... this many sections
key=key000000       # a key every generated section holds
limit=600           # seconds any one measuring program may take
redis_key="bench/big/$key"  # the Redis anchor's copy of the value read
value="value 0"             # ... and that value

# The goals the server is to meet; each is printed beside its row.
goal_read_vs_pingpong=1.8   # point read, one CPU: at most this times the ping-pong
goal_read_vs_redis=1.0      # ... and no slower than Redis's GET
goal_rate_vs_redis=1.0      # 64 readers, 50 durable writers: at least Redis's rate
goal_calls_per_read=3       # system calls per point read in the server, at most
goal_instructions_vs_redis=1.0  # user-space instructions per point read, against Redis's
goal_list_vs_read=5         # listing 100 sections among 100,000 keys, against a point read
goal_bytes_per_write=8192   # bytes written to storage per single-key durable write, its history included

# The CPUs this script may use ("0-3,6" expanded); latencies pin the
# servers to the first and their clients to the first or the second.
allowed_cpus=$(awk '/^Cpus_allowed_list:/ { print $2 }' /proc/self/status)
mapfile -t cpus < <(echo "$allowed_cpus" | tr ',' '\n' |
  awk -F- '{ last = NF == 2 ? $2 : $1; for (cpu = $1; cpu <= last; cpu++) print cpu }')
server_cpu=${cpus[0]}
other_cpu=${cpus[1]:-}

load=$(cut -d' ' -f1-3 /proc/loadavg)
work=$(mktemp -d "${TMPDIR:-/tmp}/quenlo-bench.XXXXXX")
server=""
anchor_server=""
redis=""
counted_server=""

# Stops a process we started: SIGTERM, then SIGKILL after 10 seconds (or as
# many as given).
stop() {
  local pid=$1 seconds=${2:-10}
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq $((seconds * 10))); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
cleanup() {
  local pid
  for pid in "$server" "$anchor_server" "$redis" "$counted_server"; do [ -z "$pid" ] || stop "$pid"; done
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
# Periodic snapshots are off: one landing inside a measurement would be
# charged to the requests measured.
start_server() {
  local place="$work/$1" imports=()
  for file in "$place"/ini/*.ini; do [ -e "$file" ] && imports+=(--import "$file"); done
  "$server_program" --runtime-dir "$place/run" --database "$place/config.db" --snapshot-interval 0 \
    "${imports[@]}" 2>"$place/server.log" &
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

# Writes DIRECTORY/redis.conf: a Redis that keeps everything in DIRECTORY,
# listens on DIRECTORY/redis.sock only, and acknowledges a write once its
# log is synced (as the server does).
redis_config() {
  cat >"$1/redis.conf" <<EOF
port 0
unixsocket "$1/redis.sock"
unixsocketperm 700
dir "$1"
logfile "$1/redis.log"
appendonly yes
appendfsync always
save ""
EOF
}

# Starts the Redis anchor in $work/redis, holding the value the reads read.
start_redis() {
  mkdir -p "$work/redis"
  redis_config "$work/redis"
  redis-server "$work/redis/redis.conf" >/dev/null &
  redis=$!
  if ! await_socket "$work/redis/redis.sock" "$redis" 10 || ! "$redisbench" set "$work/redis/redis.sock" \
    "$redis_key" "$value"; then
    note "redis-server did not start:"; cat "$work/redis/redis.log" >&2; exit 1
  fi
}
stop_redis() { stop "$redis"; redis=""; }

# Pins every thread of a running process to the given CPUs (as taskset
# lists them); threads it starts later inherit that.
pin() { taskset -a -p -c "$2" "$1" >/dev/null; }

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
quotient() { awk -v a="$1" -v b="$2" 'BEGIN { if (a !~ /^[0-9.]+$/ || b !~ /^[0-9.]+$/ || b == 0) print "-";
  else printf "%.4f\n", a / b }'; }
# goal VALUE "<="|">=" LIMIT [UNIT]: the goal, and whether VALUE meets it.
goal() {
  awk -v value="$1" -v direction="$2" -v limit="$3" -v unit="${4:-x}" 'BEGIN {
    printf "%s " (unit == "x" ? "%.2f" : "%g") "%s: ", direction == "<=" ? "at most" : "at least", limit, unit
    if (value !~ /^[0-9.]+$/) print "-"
    else print ((direction == "<=" ? value <= limit : value >= limit) ? "met" : "missed") }'
}

rows=()
row() { rows+=("$(printf '%-34s %-26s %-42s %-26s %-8s %s' "$@" | sed 's/ *$//')"); }
note_row() { rows+=("    $*"); }
# latency_row FIGURE_TEXT FIGURE ANCHOR_TEXT ANCHOR [GOAL_DIRECTION GOAL_LIMIT]
latency_row() {
  local goal_text=""
  [ $# -lt 6 ] || goal_text=$(goal "$(quotient "${first[$2]}" "${first[$4]}")" "$5" "$6")
  row "$1" "$(latency "${first[$2]}" "${second[$2]}")" "$3" "$(latency "${first[$4]}" "${second[$4]}")" \
    "$(ratio "${first[$2]}" "${first[$4]}")" "$goal_text"
}
# rate_row FIGURE_TEXT FIGURE ANCHOR_TEXT ANCHOR [GOAL_DIRECTION GOAL_LIMIT]
rate_row() {
  local goal_text=""
  [ $# -lt 6 ] || goal_text=$(goal "$(quotient "${first[$2]}" "${first[$4]}")" "$5" "$6")
  row "$1" "$(rate "${first[$2]}" "${failed[$2]}")" "$3" "$(rate "${first[$4]}" "${failed[$4]}")" \
    "$(ratio "${first[$2]}" "${first[$4]}")" "$goal_text"
}

# --- Counters: what one request costs a server in system calls, in
# instructions and in bytes written, each beside the same for its anchor.

# count_calls PID COMMAND...: runs COMMAND while the system calls of every
# thread of PID are counted; prints "CALLS FAILED NAME" lines. perf counts
# them at the kernel's tracepoints without stopping anything. strace, the
# fallback where perf may not count, stops the server at every call: a
# client on the same CPU then runs ahead, fewer reads find nothing to read,
# and the count comes out lower than it is.
count_calls() {
  if [ "$call_counter" = perf ]; then count_calls_with_perf "$@"; else count_calls_with_strace "$@"; fi
}
# The calls of a request path, counted by name (the rest as "others"), and
# those whose failures are counted; kept to those this kernel has.
call_counter=strace
named_calls="" failing_calls=""
if perf stat -e raw_syscalls:sys_enter -- true >/dev/null 2>&1; then
  call_counter=perf
  for name in read recvfrom recvmsg readv write sendto sendmsg writev epoll_wait epoll_pwait epoll_ctl; do
    perf stat -e "syscalls:sys_enter_$name" -- true >/dev/null 2>&1 || continue
    named_calls+=" $name"
    case $name in read | recvfrom | recvmsg | readv) failing_calls+=" $name" ;; esac
  done
fi
count_calls_with_perf() {
  local pid=$1 counts="$work/perf.$1" events=(-e raw_syscalls:sys_enter) name
  shift
  for name in $named_calls; do events+=(-e "syscalls:sys_enter_$name"); done
  for name in $failing_calls; do events+=(-e "syscalls:sys_exit_$name" --filter "ret < 0"); done
  perf stat -x, -o "$counts" "${events[@]}" -p "$pid" -- timeout "$limit" "$@" >/dev/null ||
    note "failed under perf: ${*##*/}"
  [ -s "$counts" ] || return 0
  # Lines: "COUNT,UNIT,EVENT,..."; COUNT is "<not counted>" for an event that never fired.
  awk -F, '$3 ~ /^(raw_)?syscalls:/ {
      count = $1 ~ /^[0-9]+$/ ? $1 : 0; name = $3; sub(/^.*:sys_(enter|exit)_/, "", name)
      if ($3 ~ /raw_syscalls/) total = count
      else if ($3 ~ /sys_exit_/) failed[name] = count
      else { calls[name] = count; named += count } }
    END { for (name in calls) if (calls[name] > 0) print calls[name], failed[name] + 0, name
      if (total > named) print total - named, 0, "others" }' "$counts"
}
count_calls_with_strace() {
  local pid=$1 table="$work/strace.$1" tracer
  shift
  strace -c -f -p "$pid" -o "$table" 2>"$table.log" &
  tracer=$!
  for _ in $(seq 100); do grep -q attached "$table.log" && break; sleep 0.1; done
  timeout "$limit" "$@" >/dev/null || note "failed under strace: ${*##*/}"
  kill -INT "$tracer" 2>/dev/null || true
  wait "$tracer" 2>/dev/null || true
  [ -s "$table" ] || { note "strace counted nothing:"; cat "$table.log" >&2; return 0; }
  # Rows: "% time, seconds, usecs/call, calls, [errors,] name"; the errors column may be empty.
  awk '$1 !~ /^[-%]/ && $NF != "total" { print $4, (NF == 6 ? $5 : 0), $NF }' "$table"
}
# calls_per_read LINES READS: all calls of count_calls' lines, per read.
calls_per_read() {
  printf '%s' "$1" | awk -v reads="$2" 'NF == 3 { total += $1 }
    END { if (total == 0) print "failed"; else printf "%.2f\n", total / reads }'
}
# call_breakdown LINES READS: "read 1.70 (0.70 failed), sendto 1.00, ...",
# the most frequent first; calls rarer than one per 100 reads go to "others".
call_breakdown() {
  printf '%s' "$1" | sort -k1,1nr | awk -v reads="$2" 'NF == 3 {
      if ($3 == "others" || $1 / reads < 0.01) { others += $1; next }
      printf "%s%s %.2f", shown++ ? ", " : "", $3, $1 / reads
      if ($2 / reads >= 0.01) printf " (%.2f failed)", $2 / reads }
    END { if (others / reads >= 0.01) printf "%sothers %.2f", shown ? ", " : "", others / reads; print "" }'
}

# The servers whose instructions are counted: start_counted_NAME DIRECTORY
# starts one under callgrind with its files in DIRECTORY, holding the value
# read; read_counted_NAME DIRECTORY COUNT reads it COUNT + 1 times, as the
# latencies do (the first read is untimed there).
start_counted_cfgserver() {
  valgrind --tool=callgrind --callgrind-out-file="$1/callgrind.out.%p" "$server_program" --runtime-dir "$1/run" \
    --database "$work/requests/config.db" --snapshot-interval 0 2>"$1/valgrind.log" &
  counted_server=$!
  await_socket "$1/run/CfgServer-ReadFifo" "$counted_server" 300
}
read_counted_cfgserver() { CFGSERVER_RUNTIME_DIR="$1/run" timeout "$limit" "$cfgbench" get bench big "$key" "$2"; }
start_counted_redis() {
  redis_config "$1"
  valgrind --tool=callgrind --callgrind-out-file="$1/callgrind.out.%p" redis-server "$1/redis.conf" \
    >/dev/null 2>"$1/valgrind.log" &
  counted_server=$!
  await_socket "$1/redis.sock" "$counted_server" 300 && "$redisbench" set "$1/redis.sock" "$redis_key" "$value"
}
read_counted_redis() { timeout "$limit" "$redisbench" get "$1/redis.sock" "$redis_key" "$2"; }

# instructions_per_read NAME: the user-space instructions server NAME runs
# per point read, counted by callgrind: the total of a run with
# $counted_reads reads, less that of a run as long without any (so that
# start, stop and timers count on both sides), divided by the reads.
instructions_per_read() {
  local name=$1 run place began nanoseconds=0 totals=() read_failed=0
  for run in reads idle; do
    place="$work/callgrind-$name-$run"
    mkdir -p "$place"
    if ! "start_counted_$name" "$place"; then
      note "$name did not start under callgrind"; stop "$counted_server"; counted_server=""; echo failed; return
    fi
    if [ "$run" = reads ]; then
      began=$(date +%s%N)
      "read_counted_$name" "$place" $((counted_reads - 1)) >/dev/null || read_failed=1
      nanoseconds=$(($(date +%s%N) - began))
    else
      sleep "$(awk -v nanoseconds="$nanoseconds" 'BEGIN { printf "%.3f\n", nanoseconds / 1e9 }')"
    fi
    stop "$counted_server" 60
    # Only the server's own file: a child it forked writes one of its own.
    totals+=("$(awk '/^totals:/ { print $2 }' "$place/callgrind.out.$counted_server" 2>/dev/null || true)")
    counted_server=""
  done
  if [ "$read_failed" -eq 1 ]; then note "failed: the reads of $name under callgrind"; echo failed; return; fi
  awk -v with="${totals[0]}" -v without="${totals[1]}" -v reads="$counted_reads" 'BEGIN {
    if (with !~ /^[0-9]+$/ || without !~ /^[0-9]+$/) print "failed"; else printf "%.0f\n", (with - without) / reads }'
}

# bytes_per_write PID COMMAND...: runs COMMAND, which makes $written_values
# writes to server PID; prints the bytes PID had written to storage per write.
written_bytes() { awk '/^write_bytes:/ { print $2 }' "/proc/$1/io" 2>/dev/null || true; }
bytes_per_write() {
  local pid=$1 before after
  shift
  before=$(written_bytes "$pid")
  timeout "$limit" "$@" >/dev/null || { note "failed: ${*##*/}"; echo failed; return; }
  after=$(written_bytes "$pid")
  awk -v before="$before" -v after="$after" -v writes="$written_values" 'BEGIN {
    if (before !~ /^[0-9]+$/ || after !~ /^[0-9]+$/) print "failed"; else printf "%.0f\n", (after - before) / writes }'
}
bytes() {
  awk -v b="$1" 'BEGIN { if (b !~ /^[0-9]+$/) print "failed"; else if (b >= 1024) printf "%.1f KiB\n", b / 1024;
    else printf "%d bytes\n", b }'
}
count_row() {  # count_row FIGURE_TEXT VALUE_TEXT ANCHOR_TEXT ANCHOR_VALUE_TEXT FIGURE ANCHOR [GOAL...]
  row "$1" "$2" "$3" "$4" "$(ratio "$5" "$6")" "${7:-}"
}

# The measurements, each a function of its count (or milliseconds). The
# latencies' clients run on the servers' CPU ("one CPU") or on another.
on_cpu() { local cpu=$1; shift; measure taskset -c "$cpu" "$@"; }
pingpong_one_cpu() { on_cpu "$server_cpu" "$anchors" pingpong "$work/pingpong-server" "$1"; }
pingpong_two_cpus() { on_cpu "$other_cpu" "$anchors" pingpong "$work/pingpong-server" "$1"; }
get_one_cpu() { on_cpu "$server_cpu" "$cfgbench" get bench big "$key" "$1"; }
get_two_cpus() { on_cpu "$other_cpu" "$cfgbench" get bench big "$key" "$1"; }
redis_get_one_cpu() { on_cpu "$server_cpu" "$redisbench" get "$work/redis/redis.sock" "$redis_key" "$1"; }
redis_get_two_cpus() { on_cpu "$other_cpu" "$redisbench" get "$work/redis/redis.sock" "$redis_key" "$1"; }
sqlite_list() { on_cpu "$server_cpu" "$anchors" sqlite-list "$work" "$big_section" "$1"; }
list_keys() { on_cpu "$server_cpu" "$cfgbench" list-keys bench big "$1"; }
synced_write() { measure "$anchors" fsync "$work/requests" "$1"; }
synced_loop() { measure "$anchors" fsync-loop "$work/requests" "$1"; }
durable_write() { measure "$cfgbench" write bench writes "$1"; }
redis_write() { measure "$redisbench" write "$work/redis/redis.sock" "$1"; }
writers_1() { measure "$cfgbench" writers bench writes 1 "$1"; }
writers_8() { measure "$cfgbench" writers bench writes 8 "$1"; }
writers_50() { measure "$cfgbench" writers bench writes 50 "$1"; }
redis_writers_50() { measure "$redisbench" writers "$work/redis/redis.sock" 50 "$1"; }
echo_clients() { measure "$anchors" echo-clients "$work/echo-server" 64 "$1"; }
readers() { measure "$cfgbench" readers bench big "$key" 64 "$1"; }
redis_readers() { measure "$redisbench" readers "$work/redis/redis.sock" "$redis_key" 64 "$1"; }
hello_world() { measure "$startup" exit "$1" "$build/bench/hello"; }
console_start() { measure "$startup" prompt "$1" "$build/app/quenlo"; }
cfgctl_get() { measure "$startup" exit "$1" "$build/cfgctl/cfgctl" get bench big "$key"; }
point_read() { on_cpu "$server_cpu" "$cfgbench" get set0 section000 "$key" $(($1 * 10)); }  # cheap: more of them
list_sets() { on_cpu "$server_cpu" "$cfgbench" list-sets "$1"; }
list_sections() { on_cpu "$server_cpu" "$cfgbench" list-sections set0 "$1"; }

# --- Requests on a database holding one section of $big_section keys,
# beside a Redis holding the value read.
mkdir -p "$work/requests/ini"
generate_ini "$work/requests/ini/bench.ini" big 1 "$big_section"
start_server requests
start_redis

note "get, against a bare ping-pong and Redis's GET, pinned to one CPU and to two"
start_anchor pingpong-server
for pid in "$server" "$anchor_server" "$redis"; do pin "$pid" "$server_cpu"; done
placements="one_cpu"
[ -z "$other_cpu" ] || placements+=" two_cpus"
latencies=()
for placement in $placements; do latencies+=("get_$placement" "pingpong_$placement" "redis_get_$placement"); done
by_turns "$reads" "${latencies[@]}"
for placement in $placements; do
  # The goals concern the one-CPU figures: the others show what wake-ups across CPUs add.
  case $placement in
    one_cpu) where="1 CPU" pingpong_goal=("<=" "$goal_read_vs_pingpong") redis_goal=("<=" "$goal_read_vs_redis") ;;
    *) where="2 CPUs" pingpong_goal=() redis_goal=() ;;
  esac
  latency_row "get (point read), $where" "get_$placement" "bare ping-pong, UNIX socket, $where" \
    "pingpong_$placement" "${pingpong_goal[@]}"
  latency_row "get (point read), $where" "get_$placement" "Redis GET, UNIX socket, $where" \
    "redis_get_$placement" "${redis_goal[@]}"
done

note "system calls per get, against the bare ping-pong"
server_calls=$(count_calls "$server" taskset -c "$server_cpu" "$cfgbench" get bench big "$key" $((traced_reads - 1)))
pingpong_calls=$(count_calls "$anchor_server" taskset -c "$server_cpu" "$anchors" pingpong "$work/pingpong-server" \
  $((traced_reads - 1)))
stop_anchor
server_per_read=$(calls_per_read "$server_calls" "$traced_reads")
pingpong_per_read=$(calls_per_read "$pingpong_calls" "$traced_reads")
count_row "system calls per get, server" "$server_per_read" "bare ping-pong server, 1 CPU" \
  "$pingpong_per_read" "$server_per_read" "$pingpong_per_read" \
  "$(goal "$server_per_read" "<=" "$goal_calls_per_read" " per get")"
note_row "the server, per get ($call_counter, $(grouped "$traced_reads") gets, 1 CPU):" \
  "$(call_breakdown "$server_calls" "$traced_reads")"
note_row "the ping-pong server, per round trip: $(call_breakdown "$pingpong_calls" "$traced_reads")"

note "listing a section, against SQLite in process, pinned to one CPU"
by_turns "$big_lists" sqlite_list list_keys
pin "$server" "$allowed_cpus"
pin "$redis" "$allowed_cpus"
latency_row "list a section, $(grouped "$big_section") keys, 1 CPU" list_keys \
  "SQLite, the same rows in process, 1 CPU" sqlite_list

note "writes, against write + fdatasync beside the database and Redis's SET"
by_turns "$writes" synced_write durable_write redis_write
latency_row "write one value (durable)" durable_write "rewrite 4 KiB + fdatasync, same directory" synced_write
latency_row "write one value (durable)" durable_write "Redis SET, appendfsync always" redis_write

note "concurrent writers, against a write + fdatasync loop and Redis"
# The disk's pace drifts most with other load: twice the rounds, each shorter.
rounds=$((rounds * 2)) by_turns "$((run_ms * 2))" synced_loop writers_1 writers_8 writers_50 redis_writers_50
rate_row "1 writer" writers_1 "rewrite 4 KiB + fdatasync, a loop" synced_loop
rate_row "8 concurrent writers" writers_8 "1 writer" writers_1
rate_row "50 concurrent writers" writers_50 "1 writer" writers_1
rate_row "50 concurrent writers" writers_50 "Redis SET, 50 clients, appendfsync always" redis_writers_50 \
  ">=" "$goal_rate_vs_redis"

note "bytes written to storage per durable write, against Redis"
server_bytes=$(bytes_per_write "$server" "$cfgbench" write bench writes $((written_values - 1)))
redis_bytes=$(bytes_per_write "$redis" "$redisbench" write "$work/redis/redis.sock" $((written_values - 1)))
count_row "bytes to storage per durable write" "$(bytes "$server_bytes")" "Redis SET, appendfsync always" \
  "$(bytes "$redis_bytes")" "$server_bytes" "$redis_bytes" "$(goal "$server_bytes" "<=" "$goal_bytes_per_write" " bytes")"
note_row "(/proc/PID/io write_bytes over $(grouped "$written_values") writes of a key of 13 bytes" \
  "and a value of up to 3, each a revision kept in history; the kernel counts whole pages)"

note "concurrent readers, against an epoll echo server and Redis"
start_anchor echo-server
by_turns "$run_ms" echo_clients readers redis_readers
stop_anchor
stop_redis
rate_row "64 concurrent readers" readers "bare epoll echo server, 64 clients" echo_clients
rate_row "64 concurrent readers" readers "Redis GET, 64 clients" redis_readers ">=" "$goal_rate_vs_redis"

note "start-up, against a hello world"
by_turns "$starts" hello_world console_start cfgctl_get
stop_server
latency_row "quenlo, exec to first prompt" console_start "C++ hello world, exec to exit" hello_world
latency_row "cfgctl get, exec to exit" cfgctl_get "C++ hello world, exec to exit" hello_world
row "quenlo, resident at first prompt" "${third[console_start]} KiB" \
  "hello world, peak resident" "${third[hello_world]} KiB" \
  "$(ratio "${third[console_start]}" "${third[hello_world]}")"

if command -v valgrind >/dev/null; then
  note "instructions per get, against Redis's GET (callgrind: slow)"
  server_instructions=$(instructions_per_read cfgserver)
  redis_instructions=$(instructions_per_read redis)
  count_row "instructions per get, server" "$(grouped "$server_instructions")" "Redis GET, same method" \
    "$(grouped "$redis_instructions")" "$server_instructions" "$redis_instructions" \
    "$(goal "$(quotient "$server_instructions" "$redis_instructions")" "<=" "$goal_instructions_vs_redis")"
  note_row "(user space, callgrind: a run of $(grouped "$counted_reads") gets less a run as long without)"
else
  note "valgrind is missing: no instructions per get"
fi

# --- Listings on databases of $sets sets of $sections sections each.
for size in $sizes; do
  note "listings among $size keys, pinned to one CPU"
  mkdir -p "$work/keys$size/ini"
  for number in $(seq 0 $((sets - 1))); do
    generate_ini "$work/keys$size/ini/set$number.ini" section "$sections" $((size / sets / sections))
  done
  start_server "keys$size"
  pin "$server" "$server_cpu"
  by_turns "$lists" point_read list_sets list_sections
  stop_server
  rm -rf "$work/keys$size"
  latency_row "list $sets sets, $(grouped "$size") keys" list_sets "get, same database, 1 CPU" point_read
  if [ "$size" = 100000 ]; then goals=("<=" "$goal_list_vs_read"); else goals=(); fi
  latency_row "list $sections sections, $(grouped "$size") keys" list_sections "get, same database, 1 CPU" \
    point_read "${goals[@]}"
done

echo
echo "quenlo bench, $(date -u '+%Y-%m-%d %H:%M UTC'), $(uname -m), $(nproc) cores, load average $load," \
  "$([ "$quick" -eq 1 ] && echo quick || echo full) run"
echo "latency: median (99th percentile), rate: per second, each the median of $rounds rounds" \
  "($((rounds * 2)) for the writers); ratio: figure / anchor; goal: the server's, on that ratio"
echo "1 CPU: server and client pinned to CPU $server_cpu${other_cpu:+; 2 CPUs: the client on CPU $other_cpu}"
echo
printf '%-34s %-26s %-42s %-26s %-8s %s\n' figure value anchor value ratio goal
printf '%s\n' "${rows[@]}"
