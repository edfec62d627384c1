#!/usr/bin/env bash
# The browser build's tests in headless Chromium, against the Linux build's game.
# Usage: tests/web/run.sh BUILD_WEB_DIR LINUX_BUILD_DIR
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: tests/web/run.sh BUILD_WEB_DIR LINUX_BUILD_DIR" >&2; exit 2; }
pages=("$1"/clodmere-*-web)
[ -d "${pages[0]}" ] || { echo "tests/web: no page folder in $1" >&2; exit 1; }
# Debian's Python: Selenium and PIL come from its packages.
exec /usr/bin/python3 "$(dirname "$0")/page_test.py" "${pages[0]}" "$2"
