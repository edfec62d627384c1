#!/usr/bin/env bash
# Builds the libraries that the Windows and the browser builds link, from the
# source tarballs in the folder CLODMERE_THIRD_PARTY names, and prints the
# prefix that holds them (include/, lib/, share/licences/) as its last line.
#   windows: FreeType and Allegro, static, for 64-bit Windows (MinGW-w64)
#   web:     SDL 2, FreeType and Allegro on SDL, for the browser (Emscripten)
# Every tarball is copied and checked against the checksums pinned in
# scripts/libraries.sha256 before anything is unpacked. Built once: the prefix
# lives outside the checkout, in CLODMERE_LIBRARY_CACHE (default
# ~/.cache/clodmere/libraries), under a name made of the target and a hash of
# the checksums, the recipe's version and the toolchain, so a clean clone
# reuses it and a change to any of them builds afresh.
# Usage: scripts/libraries.sh windows|web
set -euo pipefail
target=${1:-}
case "$target" in
  windows) tarballs=(freetype-2.12.1.tar.gz allegro-5.2.8.0.tar.gz) ;;
  web) tarballs=(libsdl2_2.26.5+dfsg.orig.tar.gz freetype-2.12.1.tar.gz allegro-5.2.8.0.tar.gz) ;;
  *) echo "usage: scripts/libraries.sh windows|web" >&2; exit 2 ;;
esac
root=$(cd "$(dirname "$0")/.." && pwd)
pinned=$root/scripts/libraries.sha256
say() { echo "libraries: $*" >&2; }
# Raise it whenever a library's build options below change.
recipe=1

if [ "$target" = windows ]; then
  toolchain=$(x86_64-w64-mingw32-g++-posix --version 2>/dev/null | head -1 || true)
else
  toolchain=$(NODE_PATH=/usr/share/nodejs emcc --version 2>/dev/null | head -1 || true)
fi
key=$(cat "$pinned" "$root/scripts/windows_toolchain.cmake" <(echo "$recipe $toolchain") | sha256sum | cut -c1-16)
cache=${CLODMERE_LIBRARY_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/clodmere/libraries}
prefix=$cache/$target-$key
if [ -f "$prefix/built" ]; then
  say "$target libraries already built in $prefix"
  echo "$prefix"
  exit 0
fi

explain() {
  cat >&2 <<TEXT
libraries: $1

The Windows and browser builds compile their libraries from these source tarballs:
  freetype-2.12.1.tar.gz  FreeType 2.12.1: tag VER-2-12-1 of https://github.com/freetype/freetype
                          (a mirror of https://gitlab.freedesktop.org/freetype/freetype)
  allegro-5.2.8.0.tar.gz  Allegro 5.2.8.0: tag 5.2.8.0 of https://github.com/liballeg/allegro5
  libsdl2_2.26.5+dfsg.orig.tar.gz  SDL 2.26.5 as Debian 12 ships it (the browser build only)
Put them in one folder and name it in CLODMERE_THIRD_PARTY:
  CLODMERE_THIRD_PARTY=/path/to/folder ./build-windows.sh
FreeType's and Allegro's are git archive of their tags, which gives exactly the
checksums pinned in scripts/libraries.sha256 (upstream's own release tarballs have others):
  git clone https://github.com/freetype/freetype
  git -C freetype archive --prefix=freetype-2.12.1/ VER-2-12-1 | gzip -n -9 >freetype-2.12.1.tar.gz
  git clone https://github.com/liballeg/allegro5
  git -C allegro5 archive --prefix=allegro-5.2.8.0/ 5.2.8.0 | gzip -n -9 >allegro-5.2.8.0.tar.gz
SDL's is the original tarball of Debian 12's source package libsdl2 2.26.5+dfsg-1:
  apt-get source --download-only libsdl2   (with a deb-src line for bookworm)
TEXT
  exit 1
}

folder=${CLODMERE_THIRD_PARTY:-}
[ -n "$folder" ] || explain "CLODMERE_THIRD_PARTY is not set."
[ -d "$folder" ] || explain "CLODMERE_THIRD_PARTY names $folder, which is not a folder."

# Built in a folder of its own, moved into place only when complete, so that
# an interrupted build is never taken for a finished one.
mkdir -p "$cache"
work=$(mktemp -d "$cache/.$target-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Check the copies, not the originals: what is unpacked is exactly what was checked.
mkdir -p "$work/tarballs"
problems=""
for name in "${tarballs[@]}"; do
  sum=$(awk -v n="$name" '$2 == n { print $1 }' "$pinned")
  if [ ! -f "$folder/$name" ]; then
    problems+="  $name is missing from $folder"$'\n'
    continue
  fi
  cp "$folder/$name" "$work/tarballs/$name"
  actual=$(sha256sum "$work/tarballs/$name" | cut -d' ' -f1)
  [ "$actual" = "$sum" ] || problems+="  $folder/$name has SHA256 $actual, not the pinned $sum"$'\n'
done
if [ -n "$problems" ]; then
  explain "these tarballs are missing or are not the pinned ones, so nothing is built from them:"$'\n'"${problems%$'\n'}"
fi

mkdir -p "$work/src" "$work/build"
for name in "${tarballs[@]}"; do tar -xzf "$work/tarballs/$name" -C "$work/src"; done
jobs=$(($(nproc) < 2 ? $(nproc) : 2))
out=$work/prefix
common=(-DCMAKE_INSTALL_PREFIX="$out" -DCMAKE_BUILD_TYPE=Release)
if [ "$target" = windows ]; then
  configure=(cmake -DCMAKE_TOOLCHAIN_FILE="$root/scripts/windows_toolchain.cmake" -DCLODMERE_WINDOWS_PREFIX="$out")
else
  # Debian's emcc runs its JavaScript tools with whatever node is first on the
  # PATH; Debian's own modules (acorn) must be visible to it.
  export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
  configure=(emcmake cmake)
fi

# Runs one library's configure, build and install, its output kept in a log.
build() {
  local name=$1 source=$2
  shift 2
  say "building $name for $target (log: $work/build/$name.log)"
  {
    "${configure[@]}" -S "$work/src/$source" -B "$work/build/$name" "${common[@]}" "$@"
    cmake --build "$work/build/$name" -j"$jobs"
    cmake --install "$work/build/$name"
  } >"$work/build/$name.log" 2>&1 || { tail -30 "$work/build/$name.log" >&2; exit 1; }
}

if [ "$target" = web ]; then
  # No threads in a page without shared memory; Allegro asks SDL for a window,
  # a WebGL context, input and time only.
  build sdl SDL2-2.26.5 -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_THREADS=OFF
fi

# No compressed-font or shaping libraries: the game reads one plain TrueType file.
build freetype freetype-2.12.1 -DBUILD_SHARED_LIBS=OFF \
  -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON

# Static, with the core, font, TTF and image add-ons only (the font add-on is
# built only with the image add-on). On Windows images go through its own GDI+,
# so that no host image library is picked up; in the browser Allegro runs on
# SDL and waits for events by sleeping, as a page without threads must.
allegro=(-DSHARED=OFF -DWANT_EXAMPLES=OFF -DWANT_DEMO=OFF -DWANT_TESTS=OFF -DWANT_DOCS=OFF -DWANT_AUDIO=OFF
  -DWANT_VIDEO=OFF -DWANT_PHYSFS=OFF -DWANT_NATIVE_DIALOG=OFF -DWANT_COLOR=OFF -DWANT_MEMFILE=OFF
  -DWANT_PRIMITIVES=OFF -DWANT_IMAGE_JPG=OFF -DWANT_IMAGE_PNG=OFF -DWANT_IMAGE_FREEIMAGE=OFF -DWANT_IMAGE_WEBP=OFF
  -DWANT_RELEASE_LOGGING=OFF)
if [ "$target" = windows ]; then
  build allegro allegro-5.2.8.0 "${allegro[@]}" \
    -DFREETYPE_INCLUDE_DIRS="$out/include/freetype2" -DFREETYPE_LIBRARY="$out/lib/libfreetype.a"
else
  build allegro allegro-5.2.8.0 "${allegro[@]}" -DALLEGRO_SDL=ON -DWANT_ALLOW_SSE=OFF -DWANT_WAIT_EVENT_SLEEP=ON \
    -DSDL2_INCLUDE_DIR="$out/include/SDL2" -DSDL2_LIBRARY_TEMP="$out/lib/libSDL2.a" \
    -DFREETYPE_INCLUDE_DIR_ft2build="$out/include/freetype2" \
    -DFREETYPE_INCLUDE_DIR_freetype2="$out/include/freetype2" -DFREETYPE_LIBRARY="$out/lib/libfreetype.a"
fi

# Their licences ship with the game.
mkdir -p "$out/share/licences"
cp "$work/src/allegro-5.2.8.0/LICENSE.txt" "$out/share/licences/Allegro.txt"
cp "$work/src/freetype-2.12.1/LICENSE.TXT" "$out/share/licences/FreeType.txt"
cp "$work/src/freetype-2.12.1/docs/FTL.TXT" "$out/share/licences/FreeType-FTL.txt"
[ "$target" = windows ] || cp "$work/src/SDL2-2.26.5/LICENSE.txt" "$out/share/licences/SDL.txt"

# The .pc files name the folder they were installed into; they must name the final one.
sed -i "s#$out#$prefix#g" "$out"/lib/pkgconfig/*.pc
# The finished prefix goes into place in one rename; a build running at the
# same time loses the race and drops its own copy.
touch "$out/built"
mv -T "$out" "$prefix" 2>/dev/null || [ -f "$prefix/built" ]
say "$target libraries built in $prefix"
echo "$prefix"
