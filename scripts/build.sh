#!/usr/bin/env bash
# Configures and builds Zelt into build/ (or $ZELT_BUILD_DIR) with Ninja; with ccache when the
# machine has it, so a rebuild after a move or in a second build folder reuses what it can.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${ZELT_BUILD_DIR:-build}
# Paths inside the checkout are hashed relative to it, so clones in other folders share the cache.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=${ZELT_BUILD_TYPE:-RelWithDebInfo} "${launcher[@]}" "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
