#!/bin/sh
# Builds Tandrel from nothing when needed and runs every test through CTest.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cd build
ctest --output-on-failure --timeout 300 -j2
