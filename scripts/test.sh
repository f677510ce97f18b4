#!/usr/bin/env bash
# Builds Zelt and runs the whole test suite through ctest: once plain (warnings are errors),
# the core and zelt-cli suites once more under each comma-decimal locale, and everything once
# under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup-deps.sh
jobs=$(nproc)
ZELT_BUILD_DIR=build ./scripts/build.sh -DZELT_WERROR=ON
ctest --test-dir build --output-on-failure -j"$jobs"
# Fixed file formats must not follow the process locale; most users run one of these.
for loc in de_DE.UTF-8 ru_RU.UTF-8; do
  echo "== core and zelt-cli tests under $loc"
  LANG=$loc LC_ALL=$loc ctest --test-dir build --output-on-failure -j"$jobs" -L '^(core|cli)$'
done
if [ "${ZELT_SKIP_SANITIZE:-0}" != 1 ]; then
  ZELT_BUILD_DIR=build-asan ZELT_BUILD_TYPE=Debug ./scripts/build.sh -DZELT_SANITIZE=ON -DZELT_BUILD_BENCH=OFF
  ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build-asan --output-on-failure -j"$jobs" -LE nosanitize
fi
