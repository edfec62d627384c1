#!/usr/bin/env bash
# The library build never unpacks a tarball it has not checked: without the
# folder, with files missing, or with files whose checksums are not the pinned
# ones, it names the files, builds nothing and fails, for Windows and the browser.
set -uo pipefail
script=$(cd "$(dirname "$0")/.." && pwd)/scripts/libraries.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() {
  echo "FAIL: $*"
  status=1
}

# Each case: a label, what CLODMERE_THIRD_PARTY holds, and lines the output must have.
mkdir -p "$work/empty" "$work/wrong"
echo "not the sources" >"$work/wrong/freetype-2.12.1.tar.gz"
cp "$work/wrong/freetype-2.12.1.tar.gz" "$work/wrong/allegro-5.2.8.0.tar.gz"
while IFS='|' read -r target label folder expected; do
  cache=$work/cache-$target-$label
  out=$(CLODMERE_THIRD_PARTY=$folder CLODMERE_LIBRARY_CACHE=$cache "$script" "$target" 2>&1)
  code=$?
  [ "$code" -eq 1 ] || fail "$label: exit status $code, not 1"
  for line in "$expected" "tag VER-2-12-1 of https://github.com/freetype/freetype" \
    "tag 5.2.8.0 of https://github.com/liballeg/allegro5" "archive --prefix=allegro-5.2.8.0/ 5.2.8.0 | gzip -n -9"; do
    grep -qF -- "$line" <<<"$out" || fail "$label: no line with \"$line\" in: $out"
  done
  made=$(find "$cache" -mindepth 1 2>/dev/null)
  [ -z "$made" ] || fail "$target $label: made from unchecked files: $made"
done <<CASES
windows|unset||CLODMERE_THIRD_PARTY is not set.
windows|no-folder|$work/none|names $work/none, which is not a folder.
windows|missing|$work/empty|freetype-2.12.1.tar.gz is missing from $work/empty
windows|wrong|$work/wrong|allegro-5.2.8.0.tar.gz has SHA256 $(sha256sum <"$work/wrong/allegro-5.2.8.0.tar.gz" | cut -d' ' -f1), not the pinned 9477af53
windows|wrong|$work/wrong|freetype-2.12.1.tar.gz has SHA256
web|missing|$work/wrong|libsdl2_2.26.5+dfsg.orig.tar.gz is missing from $work/wrong
web|wrong|$work/wrong|allegro-5.2.8.0.tar.gz has SHA256
CASES
exit $status
