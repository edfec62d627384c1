#!/usr/bin/env bash
# The lint step of the test command: clang-format and clang-tidy over the
# game's own sources, with the repository's .clang-format and .clang-tidy.
# Fails on any finding.
# Usage: scripts/lint.sh BUILD_DIR...  (configured build folders: their
# compile_commands.json give each source its flags; headers are checked
# through the sources that include them)
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: scripts/lint.sh BUILD_DIR..." >&2; exit 2; }
builds=()
for build in "$@"; do builds+=("$(cd "$build" && pwd)"); done
cd "$(dirname "$0")/.."
root=$(pwd)
folders=(state app world player persistence hud tools tests bench)

mapfile -t sources < <(find "${folders[@]}" -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
echo "clang-format: ${#sources[@]} files"
format_status=0
clang-format --dry-run -Werror "${sources[@]}" || format_status=$?

# Each source once, with the flags of the first build folder that compiles it.
list=$(mktemp)
log=$(mktemp)
trap 'rm -f "$list" "$log"' EXIT
for build in "${builds[@]}"; do
  python3 - "$build" "$root" "${folders[@]}" >>"$list" <<'PY'
import json, os, sys
build, root, folders = sys.argv[1], sys.argv[2], sys.argv[3:]
for entry in json.load(open(os.path.join(build, "compile_commands.json"))):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    relative = os.path.relpath(path, root)
    if relative.split(os.sep)[0] in folders:
        print(build, relative)
PY
done
mapfile -t jobs < <(sort -u -k2,2 "$list")
echo "clang-tidy: ${#jobs[@]} sources"
tidy_status=0
printf '%s\n' "${jobs[@]}" | xargs -P"$(nproc)" -L1 sh -c 'clang-tidy -p "$0" --quiet "$1" 2>&1' >"$log" || tidy_status=$?
grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$|^Suppressed [0-9]+ warnings|^Use -header-filter' "$log" || true

[ "$format_status" -eq 0 ] || echo "lint: clang-format findings above (clang-format -i FILE fixes them)"
[ "$tidy_status" -eq 0 ] || echo "lint: clang-tidy findings above"
[ "$format_status" -eq 0 ] && [ "$tidy_status" -eq 0 ] || exit 1
echo "lint: clean"
