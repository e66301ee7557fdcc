#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# install-packages.sh [--lean] PACKAGE...: installs those of the Debian packages named that are missing
# (apt-get update runs only when one is). --lean leaves their recommended packages out: building and
# running the program needs none of them, and Qt's development package alone would pull in dozens.
set -eu
extra=""
if [ "${1:-}" = --lean ]; then
    extra=--no-install-recommends
    shift
fi
need=""
for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need="$need $pkg"
done
[ -n "$need" ] || exit 0
echo "Installing:$need"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $extra $need >/dev/null
