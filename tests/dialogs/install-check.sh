#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a user gets: the layout, the desktop entry and
# its icon, and the launcher, which must seed ~/Quorrel and start the program there with its libraries.
#   install-check.sh <build folder>
# Environment (set by CTest): BINDIR, PRIVATE_LIBDIR, DATADIR relative to the prefix; EXPECTED_LIBRARIES, the
# run-time libraries this build installs beside the program.
set -euo pipefail
build=$1
tmp=$(mktemp -d "${TMPDIR:-/tmp}/quorrel-install-XXXXXX")
app_pid=""
cleanup() {
  if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" || { cat "$tmp/install.log"; exit 1; }

launcher=$prefix/$BINDIR/quorrel
program=$prefix/$PRIVATE_LIBDIR/Quorrel
shared=$prefix/$DATADIR/quorrel
desktop=$prefix/$DATADIR/applications/quorrel.desktop
icons=$prefix/$DATADIR/icons/hicolor

# ---- Layout ----
[ -x "$launcher" ] || fail "no launcher at $BINDIR/quorrel"
[ -x "$program" ] || fail "no program at $PRIVATE_LIBDIR/Quorrel"
for lib in $EXPECTED_LIBRARIES; do
  [ -f "$prefix/$PRIVATE_LIBDIR/$lib" ] || fail "$lib is not beside the program in $PRIVATE_LIBDIR"
done
for f in Quorrel.ini Javadata.xml history.txt; do
  [ -f "$shared/$f" ] || fail "no seed file $DATADIR/quorrel/$f"
done
[ -f "$icons/scalable/apps/quorrel.svg" ] || fail "no scalable icon"
for size in 48 64 128 256; do
  [ -f "$icons/${size}x${size}/apps/quorrel.png" ] || fail "no ${size}x${size} icon"
  if command -v file >/dev/null; then
    file "$icons/${size}x${size}/apps/quorrel.png" | grep -q "PNG image data, $size x $size" ||
      fail "the ${size}x${size} icon has another size"
  fi
done
# Only the launcher and the catalogue tool go on the PATH.
extra=$(find "$prefix/$BINDIR" -mindepth 1 ! -name quorrel ! -name quorrel-catalogue)
[ -x "$prefix/$BINDIR/quorrel-catalogue" ] || fail "no quorrel-catalogue in $BINDIR"
"$prefix/$BINDIR/quorrel-catalogue" --help | grep -q "quorrel-catalogue build" || fail "quorrel-catalogue --help says nothing"
[ -z "$extra" ] || fail "unexpected files in $BINDIR: $extra"

# ---- Desktop entry ----
if [ -f "$desktop" ]; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate rejects quorrel.desktop"
  grep -qx 'Exec=quorrel' "$desktop" || fail "the desktop entry does not start the launcher"
  grep -qx 'Icon=quorrel' "$desktop" || fail "the desktop entry does not name the icon"
  grep -qP '^Comment=.*\p{Cyrillic}' "$desktop" || fail "the desktop entry has no Russian comment"
  grep -q '^Categories=.*Utility;' "$desktop" || fail "the desktop entry has no main category"
else
  fail "no desktop entry"
fi

# ---- Launcher ----
home=$tmp/home
work=$home/Quorrel
mkdir -p "$home"

# Starts the launcher (through $1, with the arguments after it) and waits until the program runs in the working
# folder; leaves app_pid set.
start() {
  local through=$1
  shift
  HOME=$home "$through" "$@" >"$tmp/app.log" 2>&1 &
  app_pid=$!
  for _ in $(seq 1 200); do
    if [ "$(readlink "/proc/$app_pid/exe" 2>/dev/null)" = "$(readlink -f "$program")" ] &&
      [ "$(readlink "/proc/$app_pid/cwd" 2>/dev/null)" = "$work" ]; then
      break
    fi
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.05
  done
  if ! kill -0 "$app_pid" 2>/dev/null; then
    fail "the program did not keep running: $(cat "$tmp/app.log")"
    app_pid=""
    return
  fi
  [ "$(readlink "/proc/$app_pid/exe")" = "$(readlink -f "$program")" ] || fail "the launcher did not start $program"
  [ "$(readlink "/proc/$app_pid/cwd")" = "$work" ] || fail "the program does not run in $work"
}

stop() {
  if [ -n "$app_pid" ]; then
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=""
  fi
}

# First start: the folder is made and seeded, and the program loads its plugin from beside itself.
start "$launcher"
if [ -n "$app_pid" ] && [[ " $EXPECTED_LIBRARIES " == *" sghfs.wfx "* ]]; then
  loaded=""
  for _ in $(seq 1 100); do
    if grep -q "$(readlink -f "$prefix/$PRIVATE_LIBDIR")/sghfs.wfx" "/proc/$app_pid/maps" 2>/dev/null; then
      loaded=yes
      break
    fi
    sleep 0.05
  done
  [ -n "$loaded" ] || fail "the installed program did not load the installed sghfs.wfx"
fi
stop
for f in Quorrel.ini Javadata.xml history.txt Base/news.new Base/dir/news.gif Base/dir/template.gif Base/screen/noscr.gif; do
  cmp -s "$shared/$f" "$work/$f" || fail "$f was not seeded on the first start"
done
[ "$(stat -c %a "$work/Quorrel.ini")" = 600 ] || fail "the seeded Quorrel.ini is readable by others"

# Games named to the launcher reach the program; a relative name is taken from the folder it was started in.
# Help and version need no working folder.
mkdir -p "$tmp/from"
pushd "$tmp/from" >/dev/null
start "$launcher" game.jar /elsewhere/b.jad
popd >/dev/null
if [ -n "$app_pid" ]; then
  given=$(tr '\0' '\n' <"/proc/$app_pid/cmdline" | tail -n +2)
  [ "$given" = "$tmp/from/game.jar"$'\n'"/elsewhere/b.jad" ] || fail "the launcher passed the games as: $given"
fi
stop
version=$(HOME=/nonexistent "$launcher" --version) || fail "quorrel --version failed"
[[ $version == "Quorrel "* ]] || fail "quorrel --version printed: $version"

# Later start through a link to the launcher (as from another bin folder): the user's settings stay, a newer
# history replaces the old one, and the backup of an interrupted update is not covered by an empty catalogue.
printf 'my own settings\r\n' >"$work/Quorrel.ini"
printf 'old history\r\n' >"$work/history.txt"
printf 'server news\r\n' >"$work/Base/news.new"
rm "$work/Javadata.xml"
printf '<end>\r\n' >"$work/Javadata.tmp"
mkdir -p "$tmp/elsewhere"
ln -s "$launcher" "$tmp/elsewhere/quorrel"
start "$tmp/elsewhere/quorrel"
for _ in $(seq 1 200); do
  [ -e "$work/Javadata.xml" ] && break
  sleep 0.05
done
stop
[ "$(cat "$work/Quorrel.ini")" = $'my own settings\r' ] || fail "the user's Quorrel.ini was replaced"
cmp -s "$shared/history.txt" "$work/history.txt" || fail "the history was not brought up to date"
[ "$(cat "$work/Base/news.new")" = $'server news\r' ] || fail "the news of an update were replaced by the seed"
# Quorrel itself brings the backup back as the catalogue at its start.
[ "$(cat "$work/Javadata.xml")" = $'<end>\r' ] || fail "an empty catalogue was put beside the backup Javadata.tmp"
[ ! -e "$work/Javadata.tmp" ] || fail "the backup Javadata.tmp was not brought back at start"

# A seed that cannot be copied does not keep the program from starting.
rm "$work/history.txt"
mkdir "$work/history.txt"
start "$launcher"
stop
grep -q "cannot update $work/history.txt" "$tmp/app.log" || fail "no warning about the history: $(cat "$tmp/app.log")"
[ -z "$(ls -A "$work/history.txt")" ] || fail "the history was copied into a folder"

# A working folder that cannot be made is a clear error, and nothing starts.
rm -rf "$work"
printf 'a file' >"$work"
status=0
HOME=$home timeout 10 "$launcher" >"$tmp/app.log" 2>&1 || status=$?
[ "$status" = 1 ] || fail "the launcher ended with status $status without a working folder"
grep -q "cannot create the folder $work" "$tmp/app.log" || fail "no clear message without a working folder: $(cat "$tmp/app.log")"

if [ "$failures" -ne 0 ]; then
  echo "$failures installation check(s) failed" >&2
  exit 1
fi
echo "installation checks passed"
