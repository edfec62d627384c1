#!/usr/bin/env bash
# The packaging step of the test command: builds the Debian package in its own
# Release build folder, holds it to Debian's checker (lintian: no error, no
# warning), validates the menu entry and the AppStream metadata it ships, tries
# the menu entry's start script, and checks that the installed game's font
# link lands on the system's font.
# Usage: scripts/check_package.sh [BUILD_DIR]  (default build-test-pkg)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-test-pkg}

status=0
fail() {
  echo "check_package: FAIL: $*"
  status=1
}
skip() { echo "check_package: skipped: $* is not installed (scripts/install_deps.sh installs it)"; }

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
rm -f "$build"/clodmere_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/clodmere_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || {
  echo "check_package: FAIL: cpack made no single clodmere_*.deb in $build"
  exit 1
}
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
echo "check_package: $deb"

if command -v lintian >/dev/null; then
  lintian_status=0
  report=$(lintian --fail-on error,warning "$deb" 2>&1) || lintian_status=$?
  # Lintian's note about running as root is not about the package.
  [ -z "$report" ] || grep -v 'running with root privileges' <<<"$report" || true
  [ "$lintian_status" -eq 0 ] || fail "lintian reports errors or warnings (above)"
else
  skip lintian
fi

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$tree/usr/share/applications/clodmere.desktop" || fail "desktop-file-validate"
else
  skip desktop-file-validate
fi
# The menu entry runs the package's start script, which must start the
# installed game in its folder under XDG_DATA_HOME (or ~/.local/share),
# making it; tried here with a stand-in game that prints where it started.
launcher=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$tree/usr/share/applications/clodmere.desktop")
if [ -x "$tree$launcher" ] && grep -qF "'/usr/games/clodmere'" "$tree$launcher"; then
  printf '#!/bin/sh\npwd\n' >"$tree/stand-in" && chmod +x "$tree/stand-in"
  sed "s|'/usr/games/clodmere'|'$tree/stand-in'|" "$tree$launcher" >"$tree/launcher"
  started=$(env -u XDG_DATA_HOME HOME="$tree/home" sh "$tree/launcher" </dev/null) || fail "$launcher failed"
  [ "$started" = "$tree/home/.local/share/clodmere" ] || fail "$launcher started the game in '$started'"
  started=$(XDG_DATA_HOME="$tree/data" sh "$tree/launcher" </dev/null) || fail "$launcher failed"
  [ "$started" = "$tree/data/clodmere" ] || fail "$launcher started the game in '$started' under XDG_DATA_HOME"
else
  fail "the menu entry runs '$launcher', which is not a program of the package that starts /usr/games/clodmere"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$tree"/usr/share/metainfo/*.metainfo.xml >/dev/null ||
    appstreamcli validate --no-net "$tree"/usr/share/metainfo/*.metainfo.xml || fail "appstreamcli validate"
else
  skip appstreamcli
fi

# The game looks for its font at a path compiled in; the package's link there
# must be relative and land on the font of fonts-liberation2, which it depends on.
font_link=usr/share/games/clodmere/arial.ttf
grep -qaF "/$font_link" "$tree/usr/games/clodmere" || fail "the game does not look for /$font_link"
if [ -L "$tree/$font_link" ]; then
  target=$(readlink "$tree/$font_link")
  [[ $target != /* ]] || fail "/$font_link is an absolute link ($target)"
  resolved=$(realpath -m "$tree/$(dirname "$font_link")/$target")
  installed=${resolved#"$tree"}
  [ -f "$installed" ] || fail "/$font_link leads to $installed, which is not on this system"
  package=$(dpkg-query -S "$installed" 2>/dev/null | cut -d: -f1 || true)
  dpkg-deb -f "$deb" Depends | grep -qw "$package" ||
    fail "/$font_link leads to $installed of '$package', which the package does not depend on"
else
  fail "/$font_link is missing or not a link"
fi

# The changelog and the metadata name the version being packaged.
changelog_version=$(zcat "$tree/usr/share/doc/clodmere/changelog.gz" | sed -n '1s/^clodmere (\([^)]*\)).*/\1/p')
[ "$changelog_version" = "$version" ] || fail "packaging/changelog's newest entry is '$changelog_version', not $version"
release_version=$(grep -o '<release version="[^"]*"' "$tree"/usr/share/metainfo/*.metainfo.xml | head -n 1 | cut -d'"' -f2)
[ "$release_version" = "$version" ] || fail "the metainfo's newest release is '$release_version', not $version"

[ "$status" -eq 0 ] && echo "check_package: clean"
exit "$status"
