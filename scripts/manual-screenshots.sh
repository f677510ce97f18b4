#!/usr/bin/env bash
# Makes the manual's pictures anew from the program: builds it, makes the sample traverse, starts
# Xvfb with openbox (unless a display is given with ZELT_SHOTS_DISPLAY) and runs manual_shots,
# which saves the main window, the route view and the dialogs into docs/manual/en/images/.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${ZELT_BUILD_DIR:-build}
cmake --build "$bin" --target manual_shots zelt-cli >/dev/null
work=$(mktemp -d)
trap 'kill ${wm:-} ${xvfb:-} 2>/dev/null || true; rm -rf "$work"' EXIT
"$bin/src/cli/zelt-cli" -q new "$work/walk.db"
"$bin/src/cli/zelt-cli" -q import "$work/walk.db" data/sample-traverse.txt
"$bin/src/cli/zelt-cli" -q fill-heights "$work/walk.db"
display=${ZELT_SHOTS_DISPLAY:-}
if [ -z "$display" ]; then
  display=:97
  Xvfb "$display" -screen 0 1100x720x24 -nolisten tcp &
  xvfb=$!
  sleep 1
  DISPLAY=$display openbox &
  wm=$!
  sleep 1
fi
out=docs/manual/en/images
mkdir -p "$out"
DISPLAY=$display LANG=${LANG:-C.UTF-8} "$bin/src/app/manual_shots" "$work/walk.db" "$out"
