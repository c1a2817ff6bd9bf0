#!/usr/bin/env bash
# Figures of the catalogue update: a whole-catalogue update (mode 3) of 1000 generated games, each with a
# screenshot, a .jad and a 100 KB .jar, against one curl process fetching the same 3002 files and against one
# curl process making the update's own 6004 requests (HTTP/1.0, a connection each, a size query before each
# file), from the same server in the same run (medians of 3): from the benchmark's own loopback server, from
# python3's http.server (the demo's update server) and from nginx (what a catalogue host runs); each once as the
# system schedules it and once with every thread of the benchmark, of curl and of the server on one core.
#   bench/update.sh          (after scripts/setup; BUILD_DIR=... to use another build, BENCH_RUNS=n)
#   bench/update.sh --far    instead: 100 games from nginx through a forwarder that adds 25 ms each way (a 50 ms
#                            round trip), once, with what the request pattern alone costs there
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=${BUILD_DIR:-build}/bin/bench_update
[ -x "$BIN" ] || { echo "build first: scripts/setup" >&2; exit 2; }
source bench/servers.sh
trap stop_servers EXIT

if [ "${1:-}" = "--far" ]; then
  SERVE=$BENCH_SERVER_TMP/tree
  "$BIN" --games 100 --make-tree "$SERVE"
  start_nginx "$SERVE"
  start_delay "$NGINX_PORT" 25
  echo "== nginx behind 25 ms each way, 100 games =="
  BENCH_RUNS=${BENCH_RUNS:-1} BENCH_RTT_MS=50 "$BIN" --games 100 --tree "$SERVE" "http://127.0.0.1:$DELAY_PORT/" 2>/dev/null
  exit 0
fi

SERVE=$BENCH_SERVER_TMP/tree
"$BIN" --make-tree "$SERVE"
start_python "$SERVE"
start_nginx "$SERVE"
ALL_CPUS=$(taskset -c -p $$ | sed 's/.*: //')

# update SERVER-NAME [--tree DIR URL]: all cores, then one.
update() {
  local name=$1
  shift
  echo "== $name =="
  "$BIN" "$@" 2>/dev/null
  echo "-- $name, everything on one core --"
  pin_servers 0
  taskset -c 0 "$BIN" "$@" 2>/dev/null | grep -E '^(update|one curl|ratio|time of our own)'
  pin_servers "$ALL_CPUS"
}

update "own loopback server"
update "python3 -m http.server" --tree "$SERVE" "http://127.0.0.1:$PYTHON_PORT/"
update "nginx (sendfile on)" --tree "$SERVE" "http://127.0.0.1:$NGINX_PORT/"
