#!/usr/bin/env bash
# Shows what cfgserver does with a damaged database, one damage kind at a
# time: builds a database of 3,000 keys (one changed by an operator) with
# the server, stops it cleanly (which writes the snapshot), damages the file,
# starts the server on it and reads through the console.
#
#   scripts/damage-check.sh [CFGSERVER] [QUENLO]    (default: build/test's)
#
# For each kind it prints whether the server started, what a console reads
# (the operator's key, and how many keys a listing of the set shows), the
# server's ERROR lines and the files left in the database's directory.
set -u

top=$(cd "$(dirname "$0")/.." && pwd)
server=${1:-$top/build/test/platform/cfgserver/cfgserver}
quenlo=${2:-$top/build/test/app/quenlo}
keys=3000
page_size=4096
work=$(mktemp -d "${TMPDIR:-/tmp}/quenlo-damage.XXXXXX")
trap 'rm -rf "$work"' EXIT
ini=$work/defaults.ini
database=$work/db/config.db

{ echo "[s]"; for i in $(seq -w 1 $keys); do echo "k$i = value-$i-$(printf '%080d' $((10#$i)))"; done; } >"$ini"

wait_for_socket() {
  for _ in $(seq 100); do [ -S "$work/run/CfgServer-ReadFifo" ] && return 0; kill -0 "$1" 2>/dev/null || return 1; sleep 0.1; done
  return 1
}

console() { CFGSERVER_RUNTIME_DIR=$work/run timeout 30 "$quenlo" 2>/dev/null; }

make_database() {
  rm -rf "$work/db" "$work/run"
  mkdir -p "$work/db"
  "$server" --runtime-dir "$work/run" --database "$database" --import "$ini" 2>/dev/null &
  local pid=$!
  wait_for_socket $pid
  printf 'defaults,s,k0001,operator\nq\n' | console >/dev/null
  kill -TERM $pid
  wait $pid
}

probe() {  # name, extra server arguments
  local name=$1
  shift
  "$server" --runtime-dir "$work/run" --database "$database" "$@" 2>"$work/log" &
  local pid=$!
  if wait_for_socket $pid; then
    local output
    output=$(printf 'defaults,s,k0001\ndefaults,s\nq\n' | console)
    local operator listed
    operator=$(echo "$output" | grep -A2 'Key Value' | grep status | tr -s ' \n' ' ')
    listed=$(echo "$output" | grep -c -E '^ *k[0-9]+ ')
    kill -TERM $pid
    wait $pid
    echo "== $name: serving (stop: exit $?); k0001:$operator; the listing shows $listed keys"
  else
    wait $pid
    echo "== $name: exit $? at start"
  fi
  grep -E 'ERROR|^cfgserver:' "$work/log" | sed "s#$work/db/##g; s/^/   /"
  echo "   files: $(cd "$work/db" && ls | tr '\n' ' ')"
}

zero_header() { dd if=/dev/zero of="$database" bs=100 count=1 conv=notrunc status=none; }
random_page() { dd if=/dev/urandom of="$database" bs=$page_size seek=40 count=1 conv=notrunc status=none; }
no_snapshot() { rm -f "$database.snapshot"; }

make_database; zero_header; probe "zeroed header"
make_database; truncate -s $page_size "$database"; probe "truncated to its first page"
make_database; echo "this is not a database" >"$database"; probe "not a database"
make_database; random_page; probe "one page of random bytes"
make_database; random_page; probe "one page of random bytes, --import" --import "$ini"
make_database; no_snapshot; random_page; probe "one page of random bytes, no snapshot"
make_database; no_snapshot; zero_header; probe "zeroed header, no snapshot, --import" --import "$ini"
