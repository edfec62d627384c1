#!/usr/bin/env bash
# Installs what is missing, builds the sanitized test build and runs every test.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install_deps.sh cmake g++ make pkg-config liballegro5-dev liballegro-ttf5-dev fonts-liberation2 \
  libgtest-dev libbenchmark-dev xvfb xdotool python3-xlib \
  liballegro-image5-dev clang clang-tidy clang-format libclang-rt-14-dev \
  dpkg-dev lintian desktop-file-utils appstream

cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCLODMERE_TESTS=ON -DCLODMERE_BENCH=ON \
  -DCLODMERE_SANITIZE=ON -DCLODMERE_WERROR=ON >/dev/null
cmake --build build-test -j"$(nproc)"
ctest --test-dir build-test --output-on-failure -j"$(nproc)"

# The Debian package, in its own Release build: lintian, the menu entry, the metadata, the font link.
scripts/check_package.sh build-test-pkg

# The save loader under libFuzzer for a minute, whole files and their pieces, in its own clang build.
cmake -S . -B build-test-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DCLODMERE_FUZZ=ON >/dev/null
cmake --build build-test-fuzz --target save_fuzz state_fuzz cell_fuzz cell_run_fuzz -j"$(nproc)"
tests/fuzz/run.sh build-test-fuzz 60

# clang-format and clang-tidy over every source; any finding fails the run.
scripts/lint.sh build-test build-test-fuzz

# The Windows build (the programs, the zip, the installer; libraries from the
# tarballs in CLODMERE_THIRD_PARTY) and its tests under wine: the unit tests, the
# window tests, the installer, and frames and saves against the Linux build's.
./build-windows.sh --tests build-test
scripts/windows_tests.sh build-windows/test

# The browser build (the page, its zip; libraries from the tarballs in
# CLODMERE_THIRD_PARTY) and its tests in headless Chromium, and in Firefox and
# WebKitGTK windows on Xvfb: the start-up lines, frames against the Linux
# game's, saves in and out of the page, the controls.
./build-web.sh --tests
tests/web/run.sh build-web build-test
