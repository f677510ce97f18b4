#!/usr/bin/env bash
# Builds a Release build of this checkout into build-package/ (or $ZELT_PACKAGE_DIR) and makes the
# Debian package zelt_VERSION_ARCH.deb with CPack; prints the package's path as the last line.
# Needs dpkg-dev (dpkg-shlibdeps finds the package's dependencies) besides the build packages.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${ZELT_PACKAGE_DIR:-build-package}
for tool in dpkg-shlibdeps dpkg-deb; do
  command -v "$tool" >/dev/null || { echo "package.sh: $tool is missing (apt install dpkg-dev)" >&2; exit 1; }
done
# Debian's hardening flags (fortified functions, read-only relocations bound at start) as a
# distribution build has them.
export DEB_BUILD_MAINT_OPTIONS=${DEB_BUILD_MAINT_OPTIONS:-hardening=+all}
cflags="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
# Given on every run, so that an existing build folder follows them too.
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DZELT_BUILD_TESTS=OFF -DZELT_BUILD_BENCH=OFF "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
(cd "$dir" && cpack -G DEB >/dev/null)
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$dir/CPackConfig.cmake")
deb="$dir/zelt_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { echo "package.sh: $deb was not made" >&2; exit 1; }
realpath "$deb"
