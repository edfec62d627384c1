#!/usr/bin/env bash
# Installs what is missing, builds the sanitized test build and runs every test.
set -euo pipefail
cd "$(dirname "$0")"

tools/install_deps.sh cmake g++ make pkg-config liballegro5-dev liballegro-ttf5-dev fonts-liberation2 \
  libgtest-dev libbenchmark-dev xvfb xdotool python3-xlib

cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCLODMERE_TESTS=ON -DCLODMERE_BENCH=ON \
  -DCLODMERE_SANITIZE=ON -DCLODMERE_WERROR=ON >/dev/null
cmake --build build-test -j"$(nproc)"
ctest --test-dir build-test --output-on-failure -j"$(nproc)"
