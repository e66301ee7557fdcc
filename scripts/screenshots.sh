#!/bin/sh
# Renders every window offscreen into docs/screenshots/ (main, job list, progress, settings, new folder,
# usage, about), from sample folders and a real backup run.
set -eu
cd "$(dirname "$0")/.."
[ -d build ] || ./scripts/setup.sh
cmake --build build --target tandrel_screenshots
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen ./build/tools/tandrel_screenshots docs/screenshots
