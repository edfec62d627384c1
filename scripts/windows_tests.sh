#!/usr/bin/env bash
# Runs the tests of a Windows build (configured with CMAKE_CROSSCOMPILING_EMULATOR
# set to wine, as ./build-windows.sh --tests does) under Debian's wine64. Allegro
# needs a display under wine, so the run gets its own Xvfb; it gets one fresh wine
# prefix inside the build folder, and one wineserver kept up for the whole run,
# so that each test program starts in a few hundredths of a second instead of
# one second. Both are stopped when the run ends, however it ends.
# Usage: scripts/windows_tests.sh BUILD_DIR [CTEST_ARGUMENTS...]
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: scripts/windows_tests.sh BUILD_DIR [CTEST_ARGUMENTS...]" >&2; exit 2; }
build=$(cd "$1" && pwd)
shift
cd "$(dirname "$0")/.."
scripts/install_deps.sh wine64 xvfb

export WINEPREFIX=$build/wine-prefix
export WINEDEBUG=-all
# No offer to download Mono or Gecko while the prefix is made (no test needs
# them), and no menu entries of this machine's desktop for the installer's shortcut.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINESERVER=/usr/lib/wine/wineserver64
wine=/usr/lib/wine/wine64

display_file=$(mktemp)
xvfb_pid=""
stop() {
  [ -d "$WINEPREFIX" ] && "$WINESERVER" -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null || true
  rm -f "$display_file"
}
trap stop EXIT

# Xvfb picks a free display itself and writes its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1920x1200x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 300); do
  [ -s "$display_file" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || { echo "windows_tests: Xvfb did not start" >&2; exit 1; }
  sleep 0.1
done
[ -s "$display_file" ] || { echo "windows_tests: Xvfb gave no display within 30 s" >&2; exit 1; }
export DISPLAY=:$(head -n 1 "$display_file")

echo "windows_tests: a new wine prefix in $WINEPREFIX (display $DISPLAY)"
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
# A new prefix goes on setting itself up after wineboot returns; a full-screen
# window opened meanwhile can end its program with an X error. So wait for all
# of that to end before the server is kept up for the tests.
"$wine" wineboot -i
"$WINESERVER" -w
"$WINESERVER" -p
# The prefix's services and desktop started again before the first test, which
# would otherwise start them while ctest waits for its list of tests.
timeout 120 "$wine" wineboot || echo "windows_tests: wineboot did not end within 120 s"

ctest --test-dir "$build" --output-on-failure -j"$(($(nproc) < 2 ? $(nproc) : 2))" "$@"
