#!/usr/bin/env bash
# Configures and builds Zelt into build/ (or $ZELT_BUILD_DIR) with Ninja.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${ZELT_BUILD_DIR:-build}
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=${ZELT_BUILD_TYPE:-RelWithDebInfo} "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
