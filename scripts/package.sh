#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from the sources in one command: configures BUILD_DIR with the "package"
# preset of CMakePresets.json (release, hardened, no tests, prefix /usr), builds tandrel under the
# shared build lock, and runs cpack, which strips the program and lets dpkg-shlibdeps compute the
# library dependencies. A BUILD_DIR left from an earlier run is reused and only what changed is rebuilt.
# Usage: scripts/package.sh [BUILD_DIR [OUT_DIR]]   (defaults: build-package, and the .deb lands in it)
# Needs cmake, ninja, g++, Qt 6 and dpkg-dev: scripts/setup.sh installs them on Debian 12.
set -eu
source=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$source/build-package}
out=${2:-$build}
lock=/tmp/tandrel-build.lock
# Two builds of one commit give the same bytes: every time in the package (tar members, ar members) is
# the commit's, unless the caller names another.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$source" log -1 --format=%ct 2>/dev/null ||
        stat -c %Y "$source/packaging/changelog.Debian")
fi
export SOURCE_DATE_EPOCH

cmake -S "$source" -B "$build" --preset package >/dev/null
if command -v flock >/dev/null 2>&1; then
    flock "$lock" cmake --build "$build"
else
    cmake --build "$build"
fi
cpack --config "$build/CPackConfig.cmake" -B "$out" >/dev/null
rm -rf "$out/_CPack_Packages"
ls "$out"/tandrel_*.deb
