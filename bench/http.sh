#!/usr/bin/env bash
# Download figures of the HTTP component: a 10 MB file over loopback through downloader (one progress call per
# block of at most 1025 bytes) against `curl -o` from the same server in the same run (medians of 5), from the
# benchmark's own server, from python3's http.server (the demo's update server) and from nginx (what a
# catalogue host runs); each once as the system schedules it and once with every thread of the benchmark, of
# curl and of the server on one core (taskset -c 0). Then the same pattern in a minimal libcurl client, and the
# main thread's CPU use while it waits on slow servers.
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
SHOWN='^(downloader|curl|ratio)'  # the lines of the one-core runs
run_both_ways "own loopback server" "$SHOWN" "$BIN" --fast-only
run_both_ways "python3 -m http.server" "$SHOWN" "$BIN" --fast-only "http://127.0.0.1:$PYTHON_PORT/file.bin"
run_both_ways "nginx (sendfile on)" "$SHOWN" "$BIN" --fast-only "http://127.0.0.1:$NGINX_PORT/file.bin"

# The pattern alone, from nginx, on all cores only: spinning without system calls never ends on one core.
echo "== the pattern alone: a minimal libcurl client from nginx, each 1025-byte block handed to a thread and waited for =="
"${BUILD_DIR:-build}/bin/bench_handover" "http://127.0.0.1:$NGINX_PORT/file.bin"

echo "== the main thread while it waits on slow servers (own server) =="
"$BIN" --slow-only 2>/dev/null
