#!/usr/bin/env bash
# One step from a fresh Debian 12 machine to a running Zelt: install, build, start.
# With a display the desktop program starts with the sample traverse; without one the
# headless demo exports the sample to an OCAD map with zelt-cli and prints what it did.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup-deps.sh
./scripts/build.sh
exec ./scripts/demo.sh
