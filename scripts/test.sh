#!/usr/bin/env bash
# Builds Zelt and runs the whole test suite through ctest: once plain (warnings are errors),
# once under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup-deps.sh
jobs=$(nproc)
ZELT_BUILD_DIR=build ./scripts/build.sh -DZELT_WERROR=ON
ctest --test-dir build --output-on-failure -j"$jobs"
if [ "${ZELT_SKIP_SANITIZE:-0}" != 1 ]; then
  ZELT_BUILD_DIR=build-asan ZELT_BUILD_TYPE=Debug ./scripts/build.sh -DZELT_SANITIZE=ON -DZELT_BUILD_BENCH=OFF
  ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build-asan --output-on-failure -j"$jobs" -LE nosanitize
fi
