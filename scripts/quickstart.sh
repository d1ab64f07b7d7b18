#!/usr/bin/env bash
# Builds quenlo, cfgserver and cfgctl, starts cfgserver on the example configuration
# in a private runtime directory, and opens the console in this terminal.
# The server stops when the console ends. The database is kept in
# build/quickstart/, so changes survive the next quick start.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/release"

"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUENLO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target quenlo cfgserver cfgctl

runtime=$(mktemp -d "${TMPDIR:-/tmp}/quenlo-quickstart.XXXXXX")
mkdir -p "$top/build/quickstart"
server_log="$top/build/quickstart/cfgserver.log"
"$build/platform/cfgserver/cfgserver" --runtime-dir "$runtime" --database "$top/build/quickstart/config.db" \
  --import "$top/examples/network.ini" --import "$top/examples/system.ini" --import "$top/examples/logging.ini" \
  2>"$server_log" &
server=$!

stop_server() {
  kill -TERM "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
  rm -rf "$runtime"
}
trap stop_server EXIT

for _ in $(seq 50); do
  [ -S "$runtime/CfgServer-ReadFifo" ] && break
  kill -0 "$server" 2>/dev/null || { cat "$server_log" >&2; exit 1; }
  sleep 0.1
done

echo "cfgserver is running (log: $server_log). Type ? for help, q to quit."
echo "cfgctl from another shell: CFGSERVER_RUNTIME_DIR=$runtime $build/cfgctl/cfgctl --help"
CFGSERVER_RUNTIME_DIR="$runtime" "$build/app/quenlo"
