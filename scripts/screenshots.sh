#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders every window offscreen into docs/screenshots/ (main, job list, progress, settings, new folder,
# usage, about), from sample folders and a real backup run, with nothing else in /tmp.
set -eu
cd "$(dirname "$0")/.."
[ -d build ] || ./scripts/setup.sh
cmake --build build --target tandrel_screenshots
shoot="env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen HOME=/tmp/tandrel-screenshots/home \
XDG_RUNTIME_DIR=/mnt/runtime ./build/tools/tandrel_screenshots docs/screenshots"
# The folder tree shows /tmp, where the sample trees live, and the mounted volumes: in a mount namespace of
# its own (as root, or through a user namespace) /tmp and /mnt are fresh and empty, so that neither other
# programs' files nor the machine's own mounts below /mnt show up.
private="mount -t tmpfs tmpfs /tmp && mount -t tmpfs tmpfs /mnt && mkdir -m 700 /mnt/runtime && $shoot"
if unshare --mount true 2>/dev/null; then
    exec unshare --mount sh -c "$private"
elif unshare --user --map-root-user --mount true 2>/dev/null; then
    exec unshare --user --map-root-user --mount sh -c "$private"
fi
echo "screenshots.sh: no mount namespace here; the tree shows /tmp as it is" >&2
mkdir -p -m 700 /tmp/tandrel-screenshots-runtime
exec env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR=/tmp/tandrel-screenshots-runtime QT_QPA_PLATFORM=offscreen \
    ./build/tools/tandrel_screenshots docs/screenshots
