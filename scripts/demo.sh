#!/usr/bin/env bash
# Starts Zelt on the sample traverse; without a display, runs the headless demo instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${ZELT_BUILD_DIR:-build}
work=${ZELT_DEMO_DIR:-$HOME/zelt-demo}
mkdir -p "$work"
table="$work/sample.db"
if [ ! -f "$table" ]; then
  "$bin/src/cli/zelt-cli" new "$table"
  "$bin/src/cli/zelt-cli" import "$table" data/sample-traverse.txt
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$bin/src/app/zelt" "$table"
fi
echo "No display: running the headless demo of zelt-cli on $table"
cli="$bin/src/cli/zelt-cli"
set -x
"$cli" info "$table"
"$cli" fill-heights "$table"
"$cli" dump "$table" --visible
"$cli" export-ocd "$table" "$work/sample.ocd" --points altimeter --field FillHeight --contours
{ set +x; } 2>/dev/null
ls -l "$work/sample.ocd"
echo "Demo done: the map is $work/sample.ocd"
