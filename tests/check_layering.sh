#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when code outside platform/ includes a system header of the kernel interface, or when engine/,
# support/ or platform/ include a Qt header, or when a path through a descriptor ("/proc/self/fd") is
# built anywhere but in platform/PosixUtil.cpp, the one place for the calls that have no *at form.
root=${1:-.}
cd "$root" || exit 2
bad=$(grep -rnE '#include *<(unistd\.h|fcntl\.h|sys/[^>]*|dirent\.h|linux/[^>]*)>' engine support run ui res main.cpp 2>/dev/null)
qt=$(grep -rnE '#include *<Q' engine support platform 2>/dev/null)
if [ -n "$bad$qt" ]; then
    echo "System or Qt headers where they do not belong:"
    echo "$bad"
    echo "$qt"
    exit 1
fi
proc=$(grep -rn '"/proc/self/fd' engine support run ui res platform main.cpp 2>/dev/null |
    grep -vE '^platform/PosixUtil.cpp:|^[^:]*:[0-9]+: *//')
if [ -n "$proc" ]; then
    echo "Paths through a descriptor built outside ProcPath (platform/PosixUtil.cpp):"
    echo "$proc"
    exit 1
fi
echo "layering ok"
