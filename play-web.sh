#!/usr/bin/env bash
# Builds the browser version (see build-web.sh) and serves it on this machine
# at the first free port from 8000, opening the desktop's browser where there
# is one. Ctrl+C stops the server. Saves stay in that browser's storage for the site.
set -euo pipefail
# Built from where it was started, so that a relative CLODMERE_THIRD_PARTY holds.
"$(dirname "$0")/build-web.sh"
cd "$(dirname "$0")"
folder=build-web/clodmere-$(sed -n 's/^project(clodmere VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)-web

coproc server { exec scripts/serve_web.py "$folder"; }
trap 'kill "$server_PID" 2>/dev/null || true' EXIT
read -r address <&"${server[0]}"
echo "Clodmere is at $address (Ctrl+C stops it)"
if { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; } && command -v xdg-open >/dev/null; then
  xdg-open "$address" >/dev/null 2>&1 || true
fi
wait "$server_PID"
