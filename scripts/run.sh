#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what building and running Tandrel needs (Debian 12) when it is missing, builds the program alone
# in a Release build of its own (build-release/, configured as the Debian package is: the "package" preset of
# CMakePresets.json, which the packaging test builds too), and runs it with the arguments given. The tests
# and the packages they need come with scripts/test.sh.
set -eu
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$here/build-release"
{
    # Of build-essential only the compiler: Ninja builds, without make, and no Debian package is made here.
    # libqt6svg6 draws the program's icon. qt6-base-dev brings libgl-dev, which Qt's CMake files ask for.
    "$here/scripts/install-packages.sh" --lean g++ cmake ninja-build qt6-base-dev libqt6svg6
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S "$here" -B "$build" --preset package ${TANDREL_CMAKE_ARGS:-} >/dev/null
    fi
    cmake --build "$build" --target tandrel
} >&2
exec "$build/tandrel" "$@"
