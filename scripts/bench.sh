#!/usr/bin/env bash
# Starts a cfgserver on a fresh database in a temporary directory and runs
# cfgbench against it. Arguments go to cfgbench: [reads] [writes] [keys].
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/release"
"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUENLO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target cfgserver cfgbench >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/quenlo-bench.XXXXXX")
"$build/platform/cfgserver/cfgserver" --runtime-dir "$work/run" --database "$work/bench.db" 2>"$work/server.log" &
server=$!
trap 'kill -TERM $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -S "$work/run/CfgServer-ReadFifo" ] && break; sleep 0.1; done

CFGSERVER_RUNTIME_DIR="$work/run" "$build/bench/cfgbench" "$@"
