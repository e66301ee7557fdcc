# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the packaging checks: a private temporary folder ($tmp, removed on exit), failure reporting
# and a fresh install of the build folder. Sourced by sh with set -eu.

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
trap 'exit 1' HUP INT TERM

app_id=org.tandrel.Tandrel
failures=0

# Records one failed check with its reason; the script goes on so one run shows every problem.
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Ends the script: exit 1 when any check failed.
finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    echo "all checks passed"
}

# install_into BUILD PREFIX: installs the build folder under PREFIX or ends the script with its log.
install_into() {
    if ! cmake --install "$1" --prefix "$2" >"$tmp/install.log" 2>&1; then
        cat "$tmp/install.log" >&2
        echo "FAIL: cmake --install $1 --prefix $2" >&2
        exit 1
    fi
}

# desktop_value FILE KEY: the value of KEY in the [Desktop Entry] group, as written.
desktop_value() {
    sed -n '/^\[Desktop Entry\]/,/^\[/{s/^'"$2"'=//p}' "$1" | head -n 1
}
