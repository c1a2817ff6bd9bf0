#!/usr/bin/env bash
# quorrel-catalogue build of 1000 suites of 100 KB (a .jar and its .jad each, in 10 folders) against `zip -q -r`
# of the same files into one archive, side by side in one run; then the check of the same 1000 suites, per suite.
#   bench/catalogue-build.sh [BUILD_DIR]     (medians of 5 runs)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}
TOOL=$BUILD_DIR/bin/quorrel-catalogue
[ -x "$TOOL" ] || { echo "build first: cmake --build $BUILD_DIR --target quorrel-catalogue" >&2; exit 1; }
command -v zip >/dev/null || { echo "needs zip (apt-get install zip)" >&2; exit 1; }
BASE=${TMPDIR:-/dev/shm}
WORK=$(mktemp -d "$BASE/quorrel-catalogue-bench-XXXXXX")
trap 'rm -rf "$WORK"' EXIT

python3 - "$WORK/games" <<'PY'
import os, random, sys, zipfile
root = sys.argv[1]
rng = random.Random(7)
for i in range(1000):
    folder = os.path.join(root, "folder%02d" % (i % 10))
    os.makedirs(folder, exist_ok=True)
    name = "game%04d" % i
    manifest = ("Manifest-Version: 1.0\r\nMIDlet-Name: Game %d\r\nMIDlet-Version: 1.0\r\nMIDlet-Vendor: Bench\r\n"
                "MIDlet-1: Game %d, /icon.png, Main\r\nMicroEdition-Profile: MIDP-2.0\r\n"
                "MicroEdition-Configuration: CLDC-1.1\r\nMIDlet-Description: A game for the benchmark\r\n" % (i, i))
    jar = os.path.join(folder, name + ".jar")
    with zipfile.ZipFile(jar, "w", zipfile.ZIP_STORED) as z:
        z.writestr("META-INF/MANIFEST.MF", manifest)
        z.writestr("Main.class", rng.randbytes(100 * 1024 - 600))
    size = os.path.getsize(jar)
    with open(os.path.join(folder, name + ".jad"), "w") as f:
        f.write(manifest.split("\r\n", 1)[1] + "MIDlet-Jar-URL: %s.jar\r\nMIDlet-Jar-Size: %d\r\n" % (name, size))
PY

seconds() { local s e; s=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; e=$(date +%s.%N); echo "$e - $s" | bc; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
build_times=() zip_times=() check_times=()
for run in 1 2 3 4 5; do
  rm -rf "$WORK/tree" "$WORK/all.zip"
  build_times+=("$(seconds "$TOOL" build "$WORK/games" "$WORK/tree" --version 1)")
  zip_times+=("$(cd "$WORK" && seconds zip -q -r all.zip games)")
  check_times+=("$(seconds "$TOOL" check "$WORK/games")")
done
b=$(printf '%s\n' "${build_times[@]}" | median)
z=$(printf '%s\n' "${zip_times[@]}" | median)
c=$(printf '%s\n' "${check_times[@]}" | median)
echo "games in the tree: $(unzip -p "$WORK/tree/Javadata.zip" Javadata.xml | grep -c '^<game')"
printf 'quorrel-catalogue build: %.3f s   zip -q -r: %.3f s   ratio %.2fx\n' "$b" "$z" "$(echo "$b / $z" | bc -l)"
printf 'quorrel-catalogue check: %.3f s, %.0f us per suite\n' "$c" "$(echo "$c * 1000" | bc -l)"
