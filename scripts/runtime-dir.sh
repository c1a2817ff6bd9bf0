# Sourced by the scripts that start Qt programs: the demo, the tests, the fuzz runs, and scripts/setup (the
# build lists the tests of each test program by starting it).
# Qt keeps its runtime files in XDG_RUNTIME_DIR, which a session started without a login (su, ssh without
# systemd, a container) lacks; a private folder of our own serves instead of a warning at every start.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="${TMPDIR:-/tmp}/quorrel-runtime-$(id -u)"
  mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
  chmod 0700 "$XDG_RUNTIME_DIR" 2>/dev/null || true
fi
