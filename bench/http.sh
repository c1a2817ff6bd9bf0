#!/usr/bin/env bash
# Download figures of the HTTP component: a 10 MB file over loopback through downloader (one progress call per
# block of at most 1025 bytes) against `curl -o` from the same server in the same run (medians of 5), from the
# benchmark's own server, from python3's http.server (the demo's update server) and from nginx (what a
# catalogue host runs); each once as the system schedules it and once with every thread of the benchmark, of
# curl and of the server on one core (taskset -c 0). Then the main thread's CPU use while it waits on slow
# servers.
#   bench/http.sh            (after scripts/setup; BUILD_DIR=... to use another build, BENCH_RUNS=n)
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=${BUILD_DIR:-build}/bin/bench_http
[ -x "$BIN" ] || { echo "build first: scripts/setup" >&2; exit 2; }
source bench/servers.sh
trap stop_servers EXIT

SERVE=$BENCH_SERVER_TMP/files
mkdir -p "$SERVE"
head -c $((10 * 1024 * 1024)) /dev/urandom >"$SERVE/file.bin"
start_python "$SERVE"
start_nginx "$SERVE"
ALL_CPUS=$(taskset -c -p $$ | sed 's/.*: //')

# download SERVER-NAME [URL]: the pair on all cores, then on one.
download() {
  local name=$1
  shift
  echo "== $name =="
  "$BIN" --fast-only "$@" 2>/dev/null
  echo "-- $name, everything on one core --"
  pin_servers 0
  taskset -c 0 "$BIN" --fast-only "$@" 2>/dev/null | grep -E '^(downloader|curl|ratio)'
  pin_servers "$ALL_CPUS"
}

download "own loopback server"
download "python3 -m http.server" "http://127.0.0.1:$PYTHON_PORT/file.bin"
download "nginx (sendfile on)" "http://127.0.0.1:$NGINX_PORT/file.bin"

echo "== the main thread while it waits on slow servers (own server) =="
"$BIN" --slow-only 2>/dev/null
