#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders every window offscreen into docs/screenshots/ (main, job list, progress, settings, new folder,
# usage, about), from sample folders and a real backup run, with nothing else in /tmp.
set -eu
cd "$(dirname "$0")/.."
[ -d build ] || ./scripts/setup.sh
cmake --build build --target tandrel_screenshots
shoot="env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen ./build/tools/tandrel_screenshots docs/screenshots"
# The folder tree shows /tmp, where the sample trees live: in a mount namespace of its own (as root, or
# through a user namespace) /tmp is a fresh tmpfs, so no other program's or test's folders show up.
if unshare --mount true 2>/dev/null; then
    exec unshare --mount sh -c "mount -t tmpfs tmpfs /tmp && $shoot"
elif unshare --user --map-root-user --mount true 2>/dev/null; then
    exec unshare --user --map-root-user --mount sh -c "mount -t tmpfs tmpfs /tmp && $shoot"
fi
echo "screenshots.sh: no mount namespace here; the tree shows /tmp as it is" >&2
exec $shoot
