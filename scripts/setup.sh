#!/bin/sh
# Installs what a fresh Debian 12 machine lacks for building and testing Tandrel, only when missing,
# then configures and builds into build/ (Debug, Ninja, warnings as errors).
set -eu
cd "$(dirname "$0")/.."

need=""
for pkg in build-essential cmake ninja-build qt6-base-dev libgl-dev libgtest-dev googletest \
           xvfb xauth attr util-linux strace \
           desktop-file-utils appstream man-db groff-base bsdextrautils dpkg-dev libglib2.0-bin \
           clang libclang-rt-14-dev \
           exfatprogs exfat-fuse dosfstools fusefat ntfs-3g sshfs openssh-server; do
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
