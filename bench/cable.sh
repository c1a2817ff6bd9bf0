#!/usr/bin/env bash
# Batch upload of 20 marked games of 200 KB to a phone on a serial cable (the phone simulator on a
# pseudo-terminal, line speed unlimited) through the real main window and plugin, against a minimal libopenobex
# client putting the same files to the same simulator over its own pseudo-terminal, round by round in the same
# run (5 rounds, medians). Goal: the upload within 1.5 times the client. Then one game at 115200 baud.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
cmake --build "$BUILD_DIR" --target bench_cable sghfs >/dev/null
read -r _ upload _ client _ ratio _ slow _ slowclient < <(QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
  "$BUILD_DIR/bin/bench_cable" 2>/dev/null)
printf 'upload of 20 games (40 files):         %s ms\n' "$upload"
printf 'minimal libopenobex client, same files: %s ms\n' "$client"
printf 'ratio upload / client (per round):      %s (goal: at most 1.50)\n' "$ratio"
printf 'one game (200 KB) at 115200 baud:       %s s (client: %s s)\n' "$slow" "$slowclient"
