#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when one of the programs given links a Qt library: the engine and the layers under it are
# plain C++, and so are the programs that test them.
status=0
for program in "$@"; do
    if ! libraries=$(ldd "$program"); then
        echo "cannot list the libraries of $program"
        status=1
    elif echo "$libraries" | grep -q 'libQt6'; then
        echo "$program links Qt:"
        echo "$libraries" | grep 'libQt6'
        status=1
    fi
done
[ $status -eq 0 ] && echo "no Qt in $# programs"
exit $status
