#!/usr/bin/env bash
# Figures of the catalogue update: a whole-catalogue update (mode 3) of 1000 generated games, each with a
# screenshot, a .jad and a 100 KB .jar, against fetching the same 3002 files with one curl process from the same
# server in the same run; first from the benchmark's own loopback server, then from python3's http.server (the
# demo's update server). Prints both times, the ratio and the number of requests.
#   bench/update.sh            (after scripts/setup; BUILD_DIR=... to use another build, BENCH_RUNS=n)
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=${BUILD_DIR:-build}/bin/bench_update
[ -x "$BIN" ] || { echo "build first: scripts/setup" >&2; exit 2; }

echo "== own loopback server =="
"$BIN" 2>/dev/null

SERVE=$(mktemp -d)
SERVER=
trap '[ -n "$SERVER" ] && kill $SERVER 2>/dev/null; rm -rf "$SERVE"' EXIT
"$BIN" --make-tree "$SERVE"
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server "$PORT" --bind 127.0.0.1 --directory "$SERVE" >/dev/null 2>&1 &
SERVER=$!
for _ in $(seq 50); do curl -s --noproxy '*' -o /dev/null "http://127.0.0.1:$PORT/" && break; sleep 0.1; done
echo "== python3 -m http.server =="
"$BIN" --tree "$SERVE" "http://127.0.0.1:$PORT/" 2>/dev/null
