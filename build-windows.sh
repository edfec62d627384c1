#!/usr/bin/env bash
# Cross-builds the game for 64-bit Windows into build-windows/: FreeType and
# Allegro from their source tarballs (in the folder CLODMERE_THIRD_PARTY names,
# checked against pinned checksums; built once, by scripts/libraries.sh), clodmere.exe and
# clodmere-save.exe linked statically, the zip a player unpacks and the
# installer. Installs what is missing first.
# Usage: ./build-windows.sh [--tests [LINUX_BUILD]]   (--tests also builds the
# tests for Windows into build-windows/test, which scripts/windows_tests.sh runs
# under wine: the unit tests, the window tests, the installer's and, given a
# Linux build of the game, the comparison of its frames and saves with it)
set -euo pipefail
tests=0
linux_build=""
case "${1:-}" in
  "") ;;
  --tests) tests=1; [ -n "${2:-}" ] && linux_build=$(cd "$2" && pwd) ;;
  *) echo "usage: ./build-windows.sh [--tests [LINUX_BUILD]]" >&2; exit 2 ;;
esac
# A relative CLODMERE_THIRD_PARTY names a folder from where the script was started.
if [ -n "${CLODMERE_THIRD_PARTY:-}" ] && [ -d "$CLODMERE_THIRD_PARTY" ]; then
  CLODMERE_THIRD_PARTY=$(cd "$CLODMERE_THIRD_PARTY" && pwd)
fi
export CLODMERE_THIRD_PARTY
cd "$(dirname "$0")"

# The cross compiler, NSIS and zip for the Windows files; a host compiler and
# Allegro's image add-on for make_icon, which draws the icon on this machine.
packages=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 nsis zip cmake make pkg-config fonts-liberation2
  g++ liballegro5-dev liballegro-image5-dev python3)
[ "$tests" -eq 1 ] && packages+=(googletest)
scripts/install_deps.sh "${packages[@]}"

out=build-windows
version=$(sed -n 's/^project(clodmere VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=clodmere-$version-win64
jobs=$(($(nproc) < 2 ? $(nproc) : 2))

prefix=$(scripts/libraries.sh windows)
cross=(-DCMAKE_TOOLCHAIN_FILE="$PWD/scripts/windows_toolchain.cmake" -DCLODMERE_WINDOWS_PREFIX="$prefix")

echo "build-windows: make_icon for this machine"
cmake -S . -B "$out/host" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$out/host" -j"$jobs" --target make_icon >/dev/null

echo "build-windows: clodmere.exe and clodmere-save.exe"
cmake -S . -B "$out/release" "${cross[@]}" -DCMAKE_BUILD_TYPE=Release \
  -DCLODMERE_HOST_MAKE_ICON="$PWD/$out/host/tools/make_icon" >/dev/null
cmake --build "$out/release" -j"$jobs"

echo "build-windows: $out/$name.zip"
rm -rf "${out:?}/$name" "$out/$name.zip"
cmake --install "$out/release" --prefix "$out/$name" >/dev/null
# Static means nothing of MinGW's, Allegro's or FreeType's beside the programs: only Windows' own DLLs.
for program in "$out/$name/clodmere.exe" "$out/$name/clodmere-save.exe"; do
  dlls=$(x86_64-w64-mingw32-objdump -p "$program" | sed -n 's/^\s*DLL Name: //p')
  foreign=$(grep -i -E '^lib|allegro|freetype|pthread|gcc|stdc' <<<"$dlls" || true)
  [ -z "$foreign" ] || { echo "build-windows: $program needs DLLs that are not Windows': $foreign" >&2; exit 1; }
done
# The same bytes from the same sources: one time stamp (the last commit's), sorted entries, no extra fields.
stamp=$(git log -1 --format=%ct 2>/dev/null || echo 1767225600)
find "$out/$name" -exec touch -h -d "@$stamp" {} +
(cd "$out" && find "$name" | LC_ALL=C sort | TZ=UTC zip -X -q -9 "$name.zip" -@)

echo "build-windows: $out/$name-setup.exe"
makensis -V2 -DVERSION="$version" -DSTAGE="$PWD/$out/$name" -DOUTFILE="$PWD/$out/$name-setup.exe" \
  -DICON="$PWD/$out/release/windows/clodmere.ico" packaging/windows/installer.nsi

if [ "$tests" -eq 1 ]; then
  echo "build-windows: the tests for Windows ($out/test)"
  cmake -S . -B "$out/test" "${cross[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCLODMERE_TESTS=ON \
    -DCLODMERE_WERROR=ON -DCMAKE_CROSSCOMPILING_EMULATOR=/usr/lib/wine/wine64 \
    -DCLODMERE_WINDOWS_SETUP="$PWD/$out/$name-setup.exe" -DCLODMERE_LINUX_BUILD="$linux_build" >/dev/null
  cmake --build "$out/test" -j"$jobs"
fi

for file in "$out/$name/clodmere.exe" "$out/$name/clodmere-save.exe" "$out/$name.zip" "$out/$name-setup.exe"; do
  if [ -f "$file" ]; then printf 'build-windows: %-52s %9d bytes\n' "$file" "$(stat -c %s "$file")"; fi
done
