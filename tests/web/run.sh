#!/usr/bin/env bash
# The browser build's tests in headless Chromium, and in Firefox and WebKitGTK
# in windows on Xvfb, against the Linux build's game.
# Usage: tests/web/run.sh BUILD_WEB_DIR LINUX_BUILD_DIR [ENGINE...]   (chromium, firefox, webkit; all by default)
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: tests/web/run.sh BUILD_WEB_DIR LINUX_BUILD_DIR [ENGINE...]" >&2; exit 2; }
pages=("$1"/clodmere-*-web)
[ -d "${pages[0]}" ] || { echo "tests/web: no page folder in $1" >&2; exit 1; }
here=$(dirname "$0")
# puppeteer-core for firefox.js, as the lock file pins it; again only when the lock file changed.
if ! cmp -s "$here/package-lock.json" "$here/node_modules/.installed-lock.json"; then
  (cd "$here" && npm ci --no-audit --no-fund --loglevel=error >/dev/null &&
    cp package-lock.json node_modules/.installed-lock.json)
fi
# Debian's Python: Selenium, PIL and Xlib come from its packages.
exec /usr/bin/python3 "$here/page_test.py" "${pages[0]}" "${@:2}"
