#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Benchmarks Tandrel's unattended runs against rsync, cp and Unison; see bench/README.md.
# Installs the comparison tools when they are missing (Debian), then hands all options to bench.py.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

need=()
tools=(rsync:rsync unison:unison hyperfine:hyperfine strace:strace /usr/bin/time:time python3:python3 findmnt:util-linux)
# The exFAT stick needs root to mount; without it the scenario is skipped and needs nothing.
[[ $(id -u) -ne 0 ]] || tools+=(mkfs.exfat:exfatprogs mount.exfat-fuse:exfat-fuse)
for pair in "${tools[@]}"; do
    cmd="${pair%%:*}"
    command -v "$cmd" >/dev/null 2>&1 || need+=("${pair##*:}")
done
if ((${#need[@]})); then
    echo "bench: installing ${need[*]}" >&2
    sudo=()
    [[ $(id -u) -eq 0 ]] || sudo=(sudo)
    "${sudo[@]}" apt-get install -y -q "${need[@]}" >/dev/null ||
        { "${sudo[@]}" apt-get update -q >/dev/null && "${sudo[@]}" apt-get install -y -q "${need[@]}" >/dev/null; }
fi

# The figures are those of an optimised build (the test build is a Debug build): make it when missing.
if [[ " $* " != *" --tandrel "* ]]; then
    root="$(dirname "$here")"
    cmake -S "$root" -B "$root/build-release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTANDREL_BUILD_TESTS=OFF >/dev/null
    cmake --build "$root/build-release" --target tandrel >/dev/null
fi

exec python3 "$here/bench.py" "$@"
