#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang-14 (in build/fuzz) and runs
# each for SECONDS (default 60). Each run starts from the committed seeds in
# fuzz/corpus/<target> (read only) and from what earlier runs found, kept in
# build/fuzz/corpus/<target>. Prints executions, coverage and corpus size per
# target; exits non-zero on a crash, leak, timeout or out-of-memory, leaving
# the input that caused it in build/fuzz/artifacts/<target>/.
#
#   scripts/fuzz.sh [SECONDS]
#   build/fuzz/fuzz/fuzz_server_stream CRASH_FILE     # replay one input
set -euo pipefail

seconds=${1:-60}
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] || { echo "usage: $0 [SECONDS]" >&2; exit 2; }

top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/fuzz"
targets=(server_stream client_reply)
# Larger than the largest legal request (a 16 KiB value with its names and
# labels) with room for a few more frames in the same input.
max_len=24576
# One input normally takes milliseconds; the bound only catches a hang.
input_timeout=25

"$top/scripts/install-deps.sh" clang-14 libclang-rt-14-dev

echo "=== fuzz: build"
cmake -S "$top" -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 -DQUENLO_FUZZ=ON -DQUENLO_BUILD_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target make_corpus "${targets[@]/#/fuzz_}"

# The committed seeds must be what the generator writes today: this catches
# seeds gone stale and an encoder that writes other bytes than a peer would.
rm -rf "$build/seeds"
"$build/fuzz/make_corpus" "$build/seeds"
for seed in "$build"/seeds/*/*; do
  committed="$top/fuzz/corpus/${seed#"$build/seeds/"}"
  cmp -s "$seed" "$committed" || { echo "fuzz: $committed differs from what make_corpus writes" >&2; exit 1; }
done

failed=0
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  artifacts="$build/artifacts/$target"
  log="$build/$target.log"
  mkdir -p "$corpus" "$artifacts"
  echo "=== fuzz: $target for $seconds s"
  status=0
  # -close_fd_mask=2 silences the server's log lines; libFuzzer and the
  # sanitizers keep reporting. timeout(1) is the last resort against a hang.
  timeout --kill-after=10 $((seconds + 120)) "$build/fuzz/fuzz_$target" \
    -max_total_time="$seconds" -max_len="$max_len" -timeout="$input_timeout" -rss_limit_mb=2048 \
    -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$corpus" "$top/fuzz/corpus/$target" >"$log" 2>&1 || status=$?
  grep -E '^#[0-9]+[[:space:]]+DONE|^Done [0-9]+ runs|^stat::(number_of_executed_units|new_units_added|peak_rss_mb)' "$log" | sed "s/^/$target: /"
  if [ "$status" -ne 0 ]; then
    echo "fuzz: $target FAILED (exit $status); the end of $log:" >&2
    tail -n 40 "$log" | grep -v '^"' >&2
    ls -l "$artifacts" >&2
    failed=1
  fi
done
exit "$failed"
