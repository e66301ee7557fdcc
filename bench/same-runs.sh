#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# same-runs.sh OLD NEW [FILES]: runs each of the four runs with two builds of Tandrel on the same trees of
# FILES files (default 10,000) and compares what each leaves behind: every file's bytes, size, mode and
# write time, every folder and its mode, the settings file and the run log (its clock times blanked).
# Backup and Synchronize run unattended; Check In and Check Out only from the window, so they are driven
# with key presses under Xvfb. Prints one line per run; exit 1 when a run left something different.
set -u
[ $# -ge 2 ] && [ -x "$1" ] && [ -x "$2" ] || { echo "usage: $0 OLD NEW [FILES]" >&2; exit 2; }
old=$(realpath "$1")
new=$(realpath "$2")
files=${3:-10000}
for tool in Xvfb openbox xdotool python3; do
    command -v $tool >/dev/null || { echo "same-runs: $tool is not installed" >&2; exit 2; }
done
tmp=$(mktemp -d "${TMPDIR:-/var/tmp}/tandrel-same.XXXXXX")
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    chmod -R u+w "$tmp" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
[ -n "${KEEP:-}" ] && trap - EXIT
unset WAYLAND_DISPLAY QT_QPA_PLATFORM SESSION_MANAGER DBUS_SESSION_BUS_ADDRESS
export LC_ALL=C.UTF-8

poll() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.2
    done
}

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$tmp/display" >/dev/null 2>&1 &
pids+=($!)
poll 15 test -s "$tmp/display" || { echo "same-runs: Xvfb did not start" >&2; exit 2; }
export DISPLAY=:$(head -n 1 "$tmp/display")
mkdir -p "$tmp/wm"
HOME=$tmp/wm XDG_CONFIG_HOME=$tmp/wm openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
poll 15 xdotool get_num_desktops >/dev/null 2>&1

# The trees: FILES source files in 100 folders; a fifth missing in the destination, a fifth older there,
# a fifth newer there (in N, laid over D for all runs but Backup), the rest the same; files only in the destination, ignored ".bak" files, empty
# folders. Fixed contents and times, so both builds start from the same bytes.
python3 - "$tmp/fixture" "$files" <<'EOF'
import os, sys
root, n = sys.argv[1], int(sys.argv[2])
base = 1_600_000_000
def put(path, data, mtime):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    os.utime(path, ns=(mtime, mtime))
for i in range(n):
    rel = f"d{i % 100:02d}/sub{i % 7}/f{i:05d}.txt"
    data = (f"file {i} ".encode() * (1 + i % 300))[: (i * 37) % 9000]
    t = (base + i * 11) * 10**9 + (i % 1000) * 10**6
    put(f"{root}/S/Data/{rel}", data, t)
    k = i % 5
    if k == 0:
        continue
    if k == 2:
        put(f"{root}/D/Data/{rel}", b"old " + data, t - 3600 * 10**9)
    elif k == 3:
        # Backup stops at a destination newer than its source: only the synchronizing runs get these.
        put(f"{root}/N/Data/{rel}", b"newer " + data, t + 3600 * 10**9)
    else:
        put(f"{root}/D/Data/{rel}", data, t)
for i in range(200):
    put(f"{root}/D/Data/only/o{i}.txt", f"only {i}".encode(), (base + i) * 10**9)
    put(f"{root}/S/Data/d{i % 100:02d}/x{i}.bak", b"ignored", (base + i) * 10**9)
for i in range(10):
    os.makedirs(f"{root}/S/Data/empty{i}", exist_ok=True)
EOF

# dump ROOT: one line for each entry below ROOT (type, mode, size, write time, bytes' digest), then the
# settings and state files with the clock times blanked.
dump() {
    python3 - "$1" <<'EOF'
import hashlib, os, re, stat, sys
root = sys.argv[1]
for top in ("S", "D", "N"):
    for d, dirs, names in os.walk(f"{root}/{top}"):
        dirs.sort()
        for name in sorted(dirs + names):
            p = os.path.join(d, name)
            st = os.lstat(p)
            rel = os.path.relpath(p, root)
            if stat.S_ISDIR(st.st_mode):
                print("d", oct(st.st_mode & 0o7777), rel)
            else:
                h = hashlib.sha1(open(p, "rb").read()).hexdigest()
                print("f", oct(st.st_mode & 0o7777), st.st_size, st.st_mtime_ns, h, rel)
for top in ("config", "state"):
    for d, dirs, names in os.walk(f"{root}/{top}"):
        for name in sorted(names):
            p = os.path.join(d, name)
            print("==", os.path.relpath(p, root))
            text = open(p, errors="replace").read()
            text = re.sub(r"\d{1,4}[-./]\d{1,2}[-./]\d{1,4}", "DATE", text)
            text = re.sub(r"\d{1,2}:\d{2}(:\d{2})?", "TIME", text)
            text = re.sub(r"\d+(\.\d+)? s\b", "N s", text)
            print(text)
EOF
}

windows() {
    local id
    for id in $(xdotool search --onlyvisible --pid "$PID" 2>/dev/null); do
        echo "$id $(xdotool getwindowname "$id" 2>/dev/null)"
    done
}
titled() { windows | awk -v t="$1" '{ id = $1; $1 = ""; if (index(substr($0, 2), t) == 1) { print id; exit } }'; }
has_title() { [ -n "$(titled "$1")" ]; }
main_alone() { [ "$(windows | wc -l)" -eq 1 ]; }
ended() { ! kill -0 "$PID" 2>/dev/null; }

# run BINARY MODE: one run in $tmp/w, a fresh copy of the fixture, with its own home.
run() {
    local bin=$1 mode=$2 w=$tmp/w
    chmod -R u+w "$w" 2>/dev/null
    rm -rf "$w"
    cp -a "$tmp/fixture" "$w"
    [ "$mode" = backup ] || cp -a "$w/N/." "$w/D/"
    rm -rf "$w/N"
    mkdir -p "$w/home" "$w/config/tandrel" "$w/state" "$w/rt"
    chmod 700 "$w/rt"
    printf '[Config]\nEnableCheckInOut=1\n' >"$w/config/tandrel/Tandrel.ini"
    case $mode in
        checkout) find "$w/S" -type f -exec chmod a-w {} + ;;
        checkin) find "$w/D" -type f -exec chmod a-w {} + ;;
    esac
    local env=(HOME=$w/home XDG_CONFIG_HOME=$w/config XDG_STATE_HOME=$w/state XDG_RUNTIME_DIR=$w/rt)
    local args=("/srcdir:$w/S/Data" "/destdir:$w/D/Data")
    case $mode in
        backup | synchronize)
            local flag=/!b
            [ "$mode" = synchronize ] && flag=/!s
            env "${env[@]}" "$bin" "${args[@]}" "$flag" /!q >"$w/out" 2>&1 </dev/null
            echo "exit $?" >>"$w/out"
            ;;
        *)
            env "${env[@]}" "$bin" "${args[@]}" >"$w/out" 2>&1 </dev/null &
            PID=$!
            pids+=($PID)
            poll 20 has_title Tandrel || { echo "no main window"; return 1; }
            xdotool windowactivate "$(titled Tandrel)" 2>/dev/null
            sleep 0.5
            xdotool key --clearmodifiers alt+s
            sleep 0.5
            xdotool key --clearmodifiers "$([ "$mode" = checkin ] && echo i || echo o)"
            poll 120 has_title "Job List" || { echo "no job list: $(windows | cut -d' ' -f2- | paste -sd,)"; return 1; }
            xdotool windowactivate "$(titled "Job List")" 2>/dev/null
            sleep 0.5
            xdotool key --clearmodifiers Return
            sleep 1
            poll 300 main_alone || { echo "the run did not end: $(windows | cut -d' ' -f2- | paste -sd,)"; return 1; }
            sleep 1
            xdotool windowactivate "$(titled Tandrel)" 2>/dev/null
            sleep 0.3
            xdotool key --clearmodifiers Escape
            poll 20 ended || { kill "$PID"; echo "Esc did not end the program"; return 1; }
            ;;
    esac
    { cat "$w/out"; dump "$w"; } | sed "s#$w#W#g"
}

{ dump "$tmp/fixture" | sed "s#$tmp/fixture#W#g"; dump "$tmp/fixture" | sed "s#$tmp/fixture#W#g; s# N/# D/#"; } |
    grep '^[fd] ' >"$tmp/fixture.dump"
status=0
for mode in ${MODES:-backup synchronize checkout checkin}; do
    run "$old" $mode >"$tmp/old.$mode" || { echo "$mode: the old build failed: $(tail -n 1 "$tmp/old.$mode")"; status=1; continue; }
    run "$new" $mode >"$tmp/new.$mode" || { echo "$mode: the new build failed: $(tail -n 1 "$tmp/new.$mode")"; status=1; continue; }
    lines=$(grep -c '^f ' "$tmp/new.$mode")
    # What the run changed, so that two runs that did nothing do not pass for the same work.
    changed=$(grep '^[fd] ' "$tmp/new.$mode" | grep -vxFf "$tmp/fixture.dump" | wc -l)
    if cmp -s "$tmp/old.$mode" "$tmp/new.$mode"; then
        echo "$mode: the same ($lines files, $changed entries changed by the run, $(wc -l <"$tmp/new.$mode") lines compared)"
    else
        echo "$mode: DIFFERENT:"
        diff "$tmp/old.$mode" "$tmp/new.$mode" | head -n 20
        status=1
    fi
done
exit $status
