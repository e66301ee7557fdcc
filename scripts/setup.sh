#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what a fresh Debian 12 machine lacks for building and testing Tandrel, only when missing,
# then configures and builds into build/ (Debug, Ninja, warnings as errors).
set -eu
cd "$(dirname "$0")/.."

need=""
# libqt6svg6: Qt's SVG image and icon-engine plugins, which draw the program's icon at any size.
# lintian checks the Debian package that the packaging test builds.
# dbus-daemon, at-spi2-core, python3-pyatspi, python3-dbus, python3-gi: the GUI tests' private session bus,
# the accessibility bus on it, and their test notification service and screen-reader check.
for pkg in build-essential cmake ninja-build qt6-base-dev libqt6svg6 libgl-dev libgtest-dev googletest \
           xvfb xauth openbox xdotool xclip python3-fusepy attr util-linux strace \
           desktop-file-utils appstream man-db groff-base bsdextrautils dpkg-dev libglib2.0-bin lintian \
           clang libclang-rt-14-dev \
           exfatprogs exfat-fuse dosfstools fusefat ntfs-3g sshfs openssh-server \
           dbus-daemon at-spi2-core python3-pyatspi python3-dbus python3-gi; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need="$need $pkg"
done
if [ -n "$need" ]; then
    echo "Installing:$need"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $need >/dev/null
fi

build=${TANDREL_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTANDREL_WERROR=ON ${TANDREL_CMAKE_ARGS:-} >/dev/null
cmake --build "$build"
