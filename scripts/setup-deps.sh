#!/usr/bin/env bash
# Installs the Debian 12 packages Zelt needs to build, test and run. Safe to run again.
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config python3
      qt6-base-dev libqt6printsupport6 qt6-svg-dev libgl-dev
      libxlsxwriter-dev pxlib-dev zlib1g-dev libpng-dev ccache
      poppler-utils xvfb xauth fonts-dejavu-core fonts-liberation2 unzip
      desktop-file-utils appstream locales shared-mime-info dpkg-dev git
      libgdal-dev libproj-dev gdal-bin proj-bin)
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# The test suite runs once more under comma-decimal locales; generate them if they are missing.
for loc in de_DE ru_RU; do
  locale -a 2>/dev/null | grep -qix "${loc}.utf-\?8" || $SUDO localedef -i "$loc" -c -f UTF-8 "${loc}.UTF-8"
done
