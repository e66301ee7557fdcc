#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when code outside platform/ includes a system header of the kernel interface, or when engine/,
# support/ or platform/ include a Qt header.
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
echo "layering ok"
