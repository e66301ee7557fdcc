#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Tandrel from nothing when needed and runs every test through CTest; then the checks that need
# builds of their own: the suite under AddressSanitizer and UndefinedBehaviorSanitizer, the lock
# annotations checked by clang, the fuzzers, and the million-file cases (scripts/extra-checks.sh).
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
(cd build && ctest --output-on-failure --timeout 300 -j2 -LE 'slow|media|gui' -E FoldersSwappedForLinks)
# Runs raced by folder-link exchanges; verbose, so that the log counts the rounds and exchanges.
(cd build && ctest --timeout 300 -R FoldersSwappedForLinks -V)
# Real file systems mounted through FUSE (as root); verbose, so that the log names each medium tried or skipped.
(cd build && ctest --timeout 600 -L media -V)
# The windows under Xvfb with a window manager, driven like a user; verbose, so that the log names each case.
(cd build && ctest --timeout 300 -L gui -V)
./scripts/extra-checks.sh asan locks fuzz slow
