#!/usr/bin/env bash
# Checks the phone simulator against a client we did not write: Debian's obexftp lists /java/ and puts a file
# over the pseudo-terminal, making the cable phone's AT handshake itself.
#   obexftp-check.sh PHONE_SIMULATOR
set -euo pipefail
SIM=$1
command -v obexftp >/dev/null || { echo "obexftp is not installed (scripts/setup installs it)"; exit 1; }
WORK=$(mktemp -d)
trap 'exec 3>&- 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$WORK"' EXIT
mkdir -p "$WORK/phone/java"
printf 'MIDlet-Name: Old\r\n' >"$WORK/phone/java/old_suite.jad"
head -c 70000 /dev/urandom >"$WORK/game.jar"

# The simulator serves while its input (fd 3 here) stays open.
mkfifo "$WORK/in"
"$SIM" "$WORK/phone" <"$WORK/in" >"$WORK/sim.out" &
exec 3>"$WORK/in"
for _ in $(seq 100); do [ -s "$WORK/sim.out" ] && break; sleep 0.05; done
DEV=$(head -n1 "$WORK/sim.out")
echo "simulator on $DEV"

# obexftp's exit status is 255 even when every step says "done": what it printed and stored is checked.
timeout 60 obexftp -t "$DEV" -l /java/ >"$WORK/list.out" 2>&1 || true
echo "--- obexftp -l /java/"
cat "$WORK/list.out"
grep -q 'name="old_suite.jad"' "$WORK/list.out" || { echo "listing lacks old_suite.jad"; exit 1; }

(cd "$WORK" && timeout 60 obexftp -t "$DEV" -c /java -p game.jar) >"$WORK/put.out" 2>&1 || true
echo "--- obexftp -c /java -p game.jar"
cat "$WORK/put.out"
cmp "$WORK/game.jar" "$WORK/phone/java/game.jar"

exec 3>&-
wait
echo "--- what the simulator got"
tail -n +2 "$WORK/sim.out"
echo "obexftp listed and put through the simulator"
