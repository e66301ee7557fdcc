#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Tandrel when needed and runs it with the arguments given.
set -eu
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/setup.sh" >&2
exec "$here/build/tandrel" "$@"
