#!/usr/bin/env bash
# Builds a Release build of this checkout into build-package/ (or $ZELT_PACKAGE_DIR) and makes the
# Debian package zelt_VERSION_ARCH.deb with CPack; prints the package's path as the last line.
# Needs cmake, ninja, a C++ compiler, python3 and gzip (the manual pages), git (the files' time)
# and dpkg-dev (dpkg-buildflags, dpkg-shlibdeps finds the package's dependencies).
#
# The Maintainer is $ZELT_PACKAGE_MAINTAINER, else "$DEBFULLNAME <$DEBEMAIL>" as Debian's own
# tools take it, else the project's default. Every file in the package gets the time
# $SOURCE_DATE_EPOCH, by default the last commit's, so two runs on one commit give equal files.
set -euo pipefail
cd "$(dirname "$0")/.."
# The package's files and folders are made readable by everyone whatever the caller's umask (027
# would leave folders 0750, and zelt-cli run by another user could not reach its data files).
umask 022
dir=${ZELT_PACKAGE_DIR:-build-package}
for tool in cmake ninja c++ python3 gzip dpkg-buildflags dpkg-shlibdeps dpkg-deb; do
  command -v "$tool" >/dev/null || {
    echo "package.sh: $tool is missing (apt install cmake ninja-build build-essential python3 gzip dpkg-dev)" >&2
    exit 1
  }
done
maintainer=${ZELT_PACKAGE_MAINTAINER:-}
if [ -z "$maintainer" ] && [ -n "${DEBEMAIL:-}" ]; then
  maintainer="${DEBFULLNAME:-$(getent passwd "$(id -un)" | cut -d: -f5 | cut -d, -f1)} <$DEBEMAIL>"
fi
maintainer_flag=()
[ -n "$maintainer" ] && maintainer_flag=(-DZELT_PACKAGE_MAINTAINER="$maintainer")
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
fi
export SOURCE_DATE_EPOCH
# Debian's hardening flags (fortified functions, read-only relocations bound at start) as a
# distribution build has them.
export DEB_BUILD_MAINT_OPTIONS=${DEB_BUILD_MAINT_OPTIONS:-hardening=+all}
cflags="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
# Given on every run, so that an existing build folder follows them too.
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DZELT_BUILD_TESTS=OFF -DZELT_BUILD_BENCH=OFF "${maintainer_flag[@]}" "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
(cd "$dir" && cpack -G DEB >/dev/null)
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$dir/CPackConfig.cmake")
deb="$dir/zelt_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { echo "package.sh: $deb was not made" >&2; exit 1; }
case $(dpkg-deb -f "$deb" Maintainer) in
  *.example\>) echo "package.sh: the Maintainer is a placeholder; set DEBFULLNAME and DEBEMAIL" \
                     "(or ZELT_PACKAGE_MAINTAINER) for a package others install" >&2 ;;
esac
realpath "$deb"
