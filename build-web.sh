#!/usr/bin/env bash
# Builds the game for the browser into build-web/: SDL 2, FreeType and Allegro
# from their source tarballs (in the folder CLODMERE_THIRD_PARTY names, checked
# against pinned checksums; built once, by scripts/libraries.sh), the game with
# Emscripten, and build-web/clodmere-VERSION-web/, a folder any static web
# server can serve (an installable app that plays offline), with its zip for a
# game host. Installs what is missing
# first; --tests also installs what the browser tests use (Chromium and its
# driver, Firefox ESR, WebKitGTK's driver and MiniBrowser, Xvfb with openbox
# and Mesa's software OpenGL for the windowed ones, Selenium, PIL and Xlib).
# Usage: ./build-web.sh [--tests]
set -euo pipefail
tests=0
case "${1:-}" in
  "") ;;
  --tests) tests=1 ;;
  *) echo "usage: ./build-web.sh [--tests]" >&2; exit 2 ;;
esac
# A relative CLODMERE_THIRD_PARTY names a folder from where the script was started.
if [ -n "${CLODMERE_THIRD_PARTY:-}" ] && [ -d "$CLODMERE_THIRD_PARTY" ]; then
  CLODMERE_THIRD_PARTY=$(cd "$CLODMERE_THIRD_PARTY" && pwd)
fi
export CLODMERE_THIRD_PARTY
cd "$(dirname "$0")"

# A host compiler and Allegro's image add-on for make_icon, which draws the app's icons on this machine.
packages=(emscripten cmake make zip fonts-liberation2 g++ pkg-config liballegro5-dev liballegro-image5-dev)
[ "$tests" -eq 1 ] && packages+=(chromium chromium-driver firefox-esr webkit2gtk-driver xvfb openbox xdotool \
  libgl1-mesa-dri python3-selenium python3-pil python3-xlib)
scripts/install_deps.sh "${packages[@]}"
# Debian's emcc runs its JavaScript tools with the first node on the PATH,
# which must see Debian's own modules (acorn).
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

out=build-web
version=$(sed -n 's/^project(clodmere VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=clodmere-$version-web
jobs=$(($(nproc) < 2 ? $(nproc) : 2))

prefix=$(scripts/libraries.sh web)

echo "build-web: make_icon for this machine"
cmake -S . -B "$out/host" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$out/host" -j"$jobs" --target make_icon >/dev/null

echo "build-web: clodmere.js and clodmere.wasm"
emcmake cmake -S . -B "$out/release" -DCMAKE_BUILD_TYPE=Release -DCLODMERE_WEB_PREFIX="$prefix" \
  -DCLODMERE_HOST_MAKE_ICON="$PWD/$out/host/tools/make_icon" \
  -DCLODMERE_WERROR=ON >"$out/configure.log" 2>&1 || { cat "$out/configure.log" >&2; exit 1; }
cmake --build "$out/release" -j"$jobs"

echo "build-web: $out/$name and $out/$name.zip"
rm -rf "${out:?}/$name" "$out/$name.zip"
cmake --install "$out/release" --prefix "$out/$name" >/dev/null
# The list the service worker keeps the build by; it names the build.
scripts/list_web_files.sh "$out/$name"
# The same bytes from the same sources: one time stamp (the last commit's), sorted entries, no extra fields.
stamp=$(git log -1 --format=%ct 2>/dev/null || echo 1767225600)
find "$out/$name" -exec touch -h -d "@$stamp" {} +
(cd "$out" && find "$name" | LC_ALL=C sort | TZ=UTC zip -X -q -9 "$name.zip" -@)

# What a player downloads, as it is and as a server that compresses sends it.
for file in "$out/$name/clodmere.wasm" "$out/$name/clodmere.js"; do
  printf 'build-web: %-40s %9d bytes, %9d gzipped\n' "$file" "$(stat -c %s "$file")" "$(gzip -9 -c "$file" | wc -c)"
done
printf 'build-web: %-40s %9d bytes\n' "$out/$name.zip" "$(stat -c %s "$out/$name.zip")"
