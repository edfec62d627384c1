#!/usr/bin/env bash
# Builds the two libraries the Windows build links, FreeType and Allegro, as
# static libraries for 64-bit Windows into DIR/prefix, from the source tarballs
# in the folder CLODMERE_THIRD_PARTY names. Each tarball is copied into DIR and
# checked against the checksums pinned in tools/windows_libraries.sha256
# before anything is unpacked. Built once: DIR/stamp records the checksums the
# prefix was built from, and a later run with the same ones reuses it.
# Usage: tools/windows_libraries.sh DIR
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: tools/windows_libraries.sh DIR" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
dir=$(cd "$1" && pwd)
pinned=$root/tools/windows_libraries.sha256
prefix=$dir/prefix
stamp=$dir/stamp

if [ -f "$stamp" ] && cmp -s "$stamp" "$pinned" && [ -f "$prefix/lib/liballegro-static.a" ]; then
  echo "windows_libraries: FreeType and Allegro already built in $prefix"
  exit 0
fi

explain() {
  cat >&2 <<TEXT
windows_libraries: $1

The Windows build compiles FreeType and Allegro from these two source tarballs:
  freetype-2.12.1.tar.gz  FreeType 2.12.1: tag VER-2-12-1 of https://github.com/freetype/freetype
                          (a mirror of https://gitlab.freedesktop.org/freetype/freetype)
  allegro-5.2.8.0.tar.gz  Allegro 5.2.8.0: tag 5.2.8.0 of https://github.com/liballeg/allegro5
Put both in one folder and name it in CLODMERE_THIRD_PARTY:
  CLODMERE_THIRD_PARTY=/path/to/folder ./build-windows.sh
Each is git archive of its tag, which gives exactly the checksums pinned in
tools/windows_libraries.sha256 (upstream's own release tarballs have others):
  git clone https://github.com/freetype/freetype
  git -C freetype archive --prefix=freetype-2.12.1/ VER-2-12-1 | gzip -n -9 >freetype-2.12.1.tar.gz
  git clone https://github.com/liballeg/allegro5
  git -C allegro5 archive --prefix=allegro-5.2.8.0/ 5.2.8.0 | gzip -n -9 >allegro-5.2.8.0.tar.gz
TEXT
  exit 1
}

folder=${CLODMERE_THIRD_PARTY:-}
[ -n "$folder" ] || explain "CLODMERE_THIRD_PARTY is not set."
[ -d "$folder" ] || explain "CLODMERE_THIRD_PARTY names $folder, which is not a folder."

# Check the copies, not the originals: what is unpacked is exactly what was checked.
rm -rf "$dir/tarballs" "$dir/src" "$dir/build" "$prefix" "$stamp"
mkdir -p "$dir/tarballs"
problems=""
while read -r sum name; do
  if [ ! -f "$folder/$name" ]; then
    problems+="  $name is missing from $folder"$'\n'
    continue
  fi
  cp "$folder/$name" "$dir/tarballs/$name"
  actual=$(sha256sum "$dir/tarballs/$name" | cut -d' ' -f1)
  [ "$actual" = "$sum" ] || problems+="  $folder/$name has SHA256 $actual, not the pinned $sum"$'\n'
done <"$pinned"
if [ -n "$problems" ]; then
  rm -rf "$dir/tarballs"
  explain "these tarballs are missing or are not the pinned ones, so nothing is built from them:"$'\n'"${problems%$'\n'}"
fi

mkdir -p "$dir/src" "$dir/build"
for tarball in "$dir"/tarballs/*.tar.gz; do tar -xzf "$tarball" -C "$dir/src"; done
jobs=$(($(nproc) < 2 ? $(nproc) : 2))
cross=(-DCMAKE_TOOLCHAIN_FILE="$root/tools/windows_toolchain.cmake" -DCLODMERE_WINDOWS_PREFIX="$prefix"
  -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release)

echo "windows_libraries: building FreeType 2.12.1 (log: $dir/build/freetype.log)"
# No compressed-font or shaping libraries: the game reads one plain TrueType file.
{
  cmake -S "$dir/src/freetype-2.12.1" -B "$dir/build/freetype" "${cross[@]}" -DBUILD_SHARED_LIBS=OFF \
    -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
  cmake --build "$dir/build/freetype" -j"$jobs"
  cmake --install "$dir/build/freetype"
} >"$dir/build/freetype.log" 2>&1 || { tail -20 "$dir/build/freetype.log" >&2; exit 1; }

echo "windows_libraries: building Allegro 5.2.8.0 (log: $dir/build/allegro.log)"
# Static, with the core, font, TTF and image add-ons only; images through
# Windows' own GDI+, so that no host image library is picked up.
{
  cmake -S "$dir/src/allegro-5.2.8.0" -B "$dir/build/allegro" "${cross[@]}" -DSHARED=OFF \
    -DWANT_EXAMPLES=OFF -DWANT_DEMO=OFF -DWANT_TESTS=OFF -DWANT_DOCS=OFF -DWANT_AUDIO=OFF -DWANT_VIDEO=OFF \
    -DWANT_PHYSFS=OFF -DWANT_NATIVE_DIALOG=OFF -DWANT_COLOR=OFF -DWANT_MEMFILE=OFF -DWANT_PRIMITIVES=OFF \
    -DWANT_IMAGE_JPG=OFF -DWANT_IMAGE_PNG=OFF -DWANT_IMAGE_FREEIMAGE=OFF -DWANT_IMAGE_WEBP=OFF \
    -DWANT_RELEASE_LOGGING=OFF \
    -DFREETYPE_INCLUDE_DIRS="$prefix/include/freetype2" -DFREETYPE_LIBRARY="$prefix/lib/libfreetype.a"
  cmake --build "$dir/build/allegro" -j"$jobs"
  cmake --install "$dir/build/allegro"
} >"$dir/build/allegro.log" 2>&1 || { tail -20 "$dir/build/allegro.log" >&2; exit 1; }

# Their licences ship with the game.
mkdir -p "$prefix/share/licences"
cp "$dir/src/allegro-5.2.8.0/LICENSE.txt" "$prefix/share/licences/Allegro.txt"
cp "$dir/src/freetype-2.12.1/LICENSE.TXT" "$prefix/share/licences/FreeType.txt"
cp "$dir/src/freetype-2.12.1/docs/FTL.TXT" "$prefix/share/licences/FreeType-FTL.txt"

rm -rf "$dir/src" "$dir/tarballs"
cp "$pinned" "$stamp"
echo "windows_libraries: FreeType and Allegro built in $prefix"
