#!/usr/bin/env bash
# Installs what is missing, builds the game and starts it from this folder
# (the save file "ClodmereSave.wld" is written here).
set -euo pipefail
cd "$(dirname "$0")"

scripts/install_deps.sh cmake g++ make pkg-config liballegro5-dev liballegro-ttf5-dev liballegro-image5-dev fonts-liberation2
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target clodmere
mkdir -p data
cp -u build/data/arial.ttf data/arial.ttf
exec build/clodmere
