#!/usr/bin/env bash
# The Windows library build never unpacks a tarball it has not checked: without
# the folder, with files missing, or with files whose checksums are not the
# pinned ones, it names the two files, builds nothing and fails.
set -uo pipefail
script=$(cd "$(dirname "$0")/.." && pwd)/tools/windows_libraries.sh
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
while IFS='|' read -r label folder expected; do
  out=$(CLODMERE_THIRD_PARTY=$folder "$script" "$work/build-$label" 2>&1)
  code=$?
  [ "$code" -eq 1 ] || fail "$label: exit status $code, not 1"
  for line in "$expected" "tag VER-2-12-1 of https://github.com/freetype/freetype" \
    "tag 5.2.8.0 of https://github.com/liballeg/allegro5" "archive --prefix=allegro-5.2.8.0/ 5.2.8.0 | gzip -n -9"; do
    grep -qF -- "$line" <<<"$out" || fail "$label: no line with \"$line\" in: $out"
  done
  for made in src prefix stamp tarballs; do
    [ ! -e "$work/build-$label/$made" ] || fail "$label: $made was made from unchecked files"
  done
done <<CASES
unset||CLODMERE_THIRD_PARTY is not set.
no-folder|$work/none|names $work/none, which is not a folder.
missing|$work/empty|freetype-2.12.1.tar.gz is missing from $work/empty
wrong|$work/wrong|allegro-5.2.8.0.tar.gz has SHA256 $(sha256sum <"$work/wrong/allegro-5.2.8.0.tar.gz" | cut -d' ' -f1), not the pinned 9477af53
wrong|$work/wrong|freetype-2.12.1.tar.gz has SHA256
CASES
exit $status
