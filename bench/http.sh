#!/usr/bin/env bash
# Download figures of the HTTP component: a 10 MB file over loopback through downloader (one progress call per
# block of at most 1025 bytes) against `curl -o` from the same server in the same run, first from the
# benchmark's own server, then from python3's http.server (the demo's update server); and the main thread's
# CPU use while it waits on a slow server.
#   bench/http.sh            (after scripts/setup; BUILD_DIR=... to use another build)
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=${BUILD_DIR:-build}/bin/bench_http
[ -x "$BIN" ] || { echo "build first: scripts/setup" >&2; exit 2; }

echo "== own loopback server =="
"$BIN" 2>/dev/null

SERVE=$(mktemp -d)
trap 'kill $SERVER 2>/dev/null || true; rm -rf "$SERVE"' EXIT
head -c $((10 * 1024 * 1024)) /dev/urandom >"$SERVE/file.bin"
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server "$PORT" --bind 127.0.0.1 --directory "$SERVE" >/dev/null 2>&1 &
SERVER=$!
for _ in $(seq 50); do curl -s --noproxy '*' -o /dev/null "http://127.0.0.1:$PORT/" && break; sleep 0.1; done
echo "== python3 -m http.server =="
"$BIN" "http://127.0.0.1:$PORT/file.bin" 2>/dev/null | grep -v '^slow server'
