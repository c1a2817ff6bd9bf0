#!/usr/bin/env bash
# Batch upload of 100 marked games of 200 KB to the virtual phone (speed unlimited) through the real main
# window, against cp of the same 200 files, measured round by round in the same run (21 rounds, medians).
# Goal: the upload within 1.5 times the cp.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
cmake --build "$BUILD_DIR" --target bench_upload sghfs >/dev/null
read -r _ upload _ cp _ ratio _ compiled < <(QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
  "$BUILD_DIR/bin/bench_upload" 2>/dev/null)
printf 'upload of 100 games (200 files): %s ms\n' "$upload"
printf 'cp of the same 200 files:        %s ms\n' "$cp"
printf 'ratio upload / cp (per round):   %s (goal: at most 1.50)\n' "$ratio"
printf 'upload with Java compilation:    %s ms\n' "$compiled"
