#!/usr/bin/env bash
# Writes FOLDER/files.sha256, the list of the page's files with their checksums
# (sha256sum's format, so `sha256sum -c files.sha256` checks a copy), which the
# page's service worker keeps the build by. Run on a finished page folder.
# Usage: scripts/list_web_files.sh FOLDER
set -euo pipefail
[ $# -eq 1 ] && [ -d "$1" ] || { echo "usage: scripts/list_web_files.sh FOLDER" >&2; exit 2; }
cd "$1"
list=$(find . -type f ! -name files.sha256 -printf '%P\0' | LC_ALL=C sort -z | xargs -0 sha256sum)
printf '%s\n' "$list" >files.sha256
