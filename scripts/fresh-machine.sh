#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# fresh-machine.sh [COMMAND...] (as root, on a Debian host): times the first set-up on a fresh Debian 12.
# A minimal Debian 12 (debootstrap minbase, made once and kept as a tarball) is unpacked anew into a
# chroot, a clean clone of this repository's HEAD is put into it, and "./scripts/run.sh" runs there
# against an Xvfb on the host; the time counts from its start, packages and build included, until the
# program's first window is mapped (xdotool, polled from the host). With COMMAND (e.g.
# ./scripts/setup.sh) that command runs instead and is timed until it exits.
set -eu
repo="$(cd "$(dirname "$0")/.." && pwd)"
pristine=${FRESH_PRISTINE:-/var/tmp/fresh-bookworm.tar}
root=${FRESH_ROOT:-/var/tmp/fresh-work}
mirror=http://deb.debian.org/debian
stamp() { date +%s.%N; }
# CPU time (user + system) of the finished children of process $1: the load-independent cost so far.
cpu() { awk -v hz="$(getconf CLK_TCK)" '{ printf "%.0f s CPU", ($16 + $17) / hz }' "/proc/$1/stat"; }
since() { echo "$1 $2" | awk '{ printf "%6.1f s", $2 - $1 }'; }

if [ ! -f "$pristine" ]; then
    debootstrap --variant=minbase bookworm "$root.boot" "$mirror" >/dev/null
    # The suites a Debian 12 installation lists.
    printf '%s\n' "deb $mirror bookworm main" "deb $mirror bookworm-updates main" \
        "deb ${mirror%/debian}/debian-security bookworm-security main" >"$root.boot/etc/apt/sources.list"
    chroot "$root.boot" apt-get clean
    tar -C "$root.boot" -cf "$pristine" . && rm -rf "$root.boot"
fi

rm -rf "$root" && mkdir -p "$root" && tar -C "$root" -xf "$pristine"
cp /etc/resolv.conf "$root/etc/resolv.conf"
git clone -q "$repo" "$root/root/tandrel"
git -C "$root/root/tandrel" checkout -q "$(git -C "$repo" rev-parse HEAD)"

n=90
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
Xvfb ":$n" -nolisten tcp -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
mounted=""
cleanup() {
    for m in $mounted; do umount "$root/$m"; done
    kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM
for m in proc sys dev dev/pts tmp/.X11-unix; do
    mkdir -p "$root/$m" && mount --bind "/$m" "$root/$m"
    mounted="$m $mounted"
done
while [ ! -e "/tmp/.X11-unix/X$n" ]; do sleep 0.1; done

[ $# -gt 0 ] || set -- ./scripts/run.sh
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
start=$(stamp)
chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 DISPLAY=":$n" sh -c 'cd /root/tandrel && exec "$@"' sh "$@" &
child=$!
# The milestones, seen from the host: packages installed (cmake makes the build folder), the program built.
build="$root/root/tandrel/build-release"
(
    while [ ! -d "$build" ] && kill -0 "$child" 2>/dev/null; do sleep 0.2; done
    [ -d "$build" ] && echo "packages installed: $(since "$start" "$(stamp)"), $(cpu "$child")"
    while [ ! -x "$build/tandrel" ] && kill -0 "$child" 2>/dev/null; do sleep 0.2; done
    [ -x "$build/tandrel" ] && echo "program built:      $(since "$start" "$(stamp)")"
) &
if [ "$1" = ./scripts/run.sh ]; then
    until DISPLAY=":$n" xdotool search --onlyvisible --name Tandrel >/dev/null 2>&1; do
        kill -0 "$child" 2>/dev/null || { echo "run.sh ended before a window was mapped" >&2; exit 1; }
        sleep 0.1
    done
    echo "first window:       $(since "$start" "$(stamp)"), $(cpu "$child")"
    kill "$child"
    wait "$child" || true
else
    status=0
    wait "$child" || status=$?
    echo "$* exited $status: $(since "$start" "$(stamp)")"
fi
sleep 0.5
echo "load average after:  $(cut -d' ' -f1-3 /proc/loadavg)"
echo "packages: $(find "$root/var/cache/apt/archives" -name "*.deb" | wc -l) downloaded," \
    "$(du -cm "$root/var/cache/apt/archives/"*.deb 2>/dev/null | tail -1 | cut -f1) MB"
grep -E '^(Start|End)-Date' "$root/var/log/apt/history.log" 2>/dev/null || true
