#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# run-gui.sh TANDREL_BINARY WINDOW_TESTS_BINARY: the windows under a real X server. Starts Xvfb on a free
# display and openbox on it, drives the built program with xdotool as a user would (each case with its
# own home, settings and state folders) and checks what the user sees: titles, the active window, the
# clipboard, files. Then runs the in-process checks on the same display. One line per case; exit 1 when
# a case failed, 77 when there is no X server to be had.
set -u
[ $# -eq 2 ] && [ -x "$1" ] && [ -x "$2" ] || { echo "usage: $0 TANDREL_BINARY WINDOW_TESTS_BINARY" >&2; exit 2; }
td=$(realpath "$1")
window_tests=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)

for tool in Xvfb openbox xdotool xclip; do
    command -v $tool >/dev/null || { echo "gui: skipped: $tool is not installed"; exit 77; }
done
tmp=$(mktemp -d "${TMPDIR:-/tmp}/tandrel-gui.XXXXXX")
pids=()    # every process started here, stopped at the end in reverse order
mounts=()  # FUSE mounts, unmounted at the end
cleanup() {
    local i
    rm -f "$tmp"/*/gate  # a scan waiting in the slow file system cannot be stopped before it returns
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
    for i in "${pids[@]}"; do
        timeout 5 tail --pid="$i" -f /dev/null 2>/dev/null || kill -KILL "$i" 2>/dev/null
    done
    for i in "${mounts[@]}"; do fusermount -u -z "$i" 2>/dev/null; done
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' HUP INT TERM
unset WAYLAND_DISPLAY QT_QPA_PLATFORM SESSION_MANAGER
export LC_ALL=C.UTF-8

# poll SECONDS COMMAND...: runs COMMAND every tenth of a second until it succeeds; fails after SECONDS.
poll() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.1
    done
}

# The X server picks its own free display and names it on descriptor 3 once it accepts clients.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
xvfb=$!
pids+=($xvfb)
has_display() { [ -s "$tmp/display" ]; }
server_done() { has_display || ! kill -0 $xvfb 2>/dev/null; }
poll 15 server_done
if ! has_display; then
    echo "gui: skipped: Xvfb did not start: $(tail -n 1 "$tmp/xvfb.log")"
    exit 77
fi
export DISPLAY=:$(head -n 1 "$tmp/display")
mkdir -p "$tmp/wm"
HOME=$tmp/wm XDG_CONFIG_HOME=$tmp/wm XDG_CACHE_HOME=$tmp/wm openbox --sm-disable >"$tmp/wm.log" 2>&1 &
pids+=($!)
wm_up() { xdotool get_num_desktops >/dev/null 2>&1; }
poll 15 wm_up || { echo "gui: openbox did not start: $(tail -n 1 "$tmp/wm.log")"; exit 1; }
# A session bus of the runner's own: the accessibility bus (started by it on demand) and the test
# notification service live on it, and nothing reaches the desktop of whoever runs the tests.
bus=""
if command -v dbus-daemon >/dev/null; then
    dbus-daemon --session --nofork --print-address=3 3>"$tmp/bus" >"$tmp/bus.log" 2>&1 &
    pids+=($!)
    poll 10 test -s "$tmp/bus" && bus=$(head -n 1 "$tmp/bus")
fi
[ -n "$bus" ] && export DBUS_SESSION_BUS_ADDRESS=$bus || unset DBUS_SESSION_BUS_ADDRESS
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
echo "gui: Xvfb on $DISPLAY, openbox${bus:+, a session bus}"

# --- Helpers of the cases. C is the case's folder, PID the program's process, MAIN its main window. ---

# fail TEXT: reports why the current case failed, with the end of what the program printed.
fail() {
    echo "gui: $case: FAILED: $*"
    [ -s "$C/out" ] && tail -n 3 "$C/out" | sed 's/^/      | /'
    return 1
}

# windows: "ID NAME" of every visible window of the program.
windows() {
    local id
    for id in $(xdotool search --onlyvisible --pid "$PID" 2>/dev/null); do
        echo "$id $(xdotool getwindowname "$id" 2>/dev/null)"
    done
}
# find_titled TITLE: the id of the program's visible window with exactly this title.
find_titled() { windows | awk -v t="$1" '{ id = $1; $1 = ""; if (substr($0, 2) == t) { print id; exit } }'; }
titled_shown() { [ -n "$(find_titled "$1")" ]; }
# wait_titled TITLE [WHY]: waits for that window and sets WIN to its id; WHY is the failure's text.
wait_titled() {
    poll 10 titled_shown "$1" ||
        { fail "${2:-no window \"$1\"} (shown: $(windows | cut -d' ' -f2- | paste -sd,))"; return 1; }
    WIN=$(find_titled "$1")
}
is_shown() { windows | grep -q "^$1 "; }
wait_gone() { poll 10 eval "! is_shown $1"; }
is_active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }
active_name() { xdotool getactivewindow getwindowname 2>/dev/null || echo none; }
# wait_active ID WHAT: the window must become the active one, as the window manager reports it.
wait_active() { poll 5 is_active "$1" || fail "$2 is not the active window (active: $(active_name))"; }
activate() { xdotool windowactivate "$1" 2>/dev/null; wait_active "$1" "$2"; }
key() { xdotool key --clearmodifiers "$@"; }
# window_ids: the ids of the program's visible windows. A listing made while another of its windows is
# being destroyed can come back empty, so it is taken again until the main window is in it.
main_listed() { ids=$(windows | cut -d' ' -f1); grep -qxF "$MAIN" <<<"$ids"; }
window_ids() {
    local ids
    poll 5 main_listed
    echo "$ids"
}
# wait_new_window BEFORE: waits for a visible window of the program that is not in BEFORE (a popup menu).
has_new() { [ -n "$(windows | cut -d' ' -f1 | grep -vxF "$1")" ]; }
wait_new_window() { poll 5 has_new "$1"; }
# copy KEYS...: presses the keys that copy and prints the clipboard once the program has taken it over
# (the time the clipboard was last taken changes).
clip_stamp() { timeout 5 xclip -o -selection clipboard -t TIMESTAMP 2>/dev/null; }
stamp_changed() { [ "$(clip_stamp)" != "$1" ]; }
copy() {
    local stamp
    stamp=$(clip_stamp)
    key "$@"
    poll 5 stamp_changed "$stamp" && timeout 5 xclip -o -selection clipboard 2>/dev/null
}
# click BUTTON FX FY: clicks the main window at the fraction FX, FY of its width and height (the layout
# scales with the font, the proportions of the template stay).
click() {
    local WIDTH HEIGHT X Y SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$MAIN")"
    xdotool mousemove --window "$MAIN" "$(awk -v f="$2" -v s="$WIDTH" 'BEGIN { printf "%d", f * s }')" \
        "$(awk -v f="$3" -v s="$HEIGHT" 'BEGIN { printf "%d", f * s }')" click "$1"
}

# start ARGS...: starts the program with the case's own folders and waits for its main window "Tandrel".
start() {
    mkdir -p "$C/home" "$C/config" "$C/state" "$C/run"
    chmod 700 "$C/run"
    HOME=$C/home XDG_CONFIG_HOME=$C/config XDG_STATE_HOME=$C/state XDG_RUNTIME_DIR=$C/run \
        "${BIN:-$td}" "$@" >"$C/out" 2>&1 </dev/null &
    PID=$!
    pids+=($PID)
    wait_titled Tandrel || return 1
    MAIN=$WIN
    activate "$MAIN" "the main window"
}
ended() { ! kill -0 "$PID" 2>/dev/null; }
# quit: Esc in the main window ends the program.
quit() {
    activate "$MAIN" "the main window" || return 1
    key Escape
    poll 10 ended || fail "Esc did not end the program"
}
# folders NAME: makes $C/src/NAME with a file and an empty $C/dst/NAME.
folders() {
    mkdir -p "$C/src/$1" "$C/dst/$1"
    echo data >"$C/src/$1/file.txt"
}

# Where the tree's rows and the Destination field lie, as fractions of the main window (its template is
# 408 x 198 units: the tree from y 38 to 175, the field at y 23 to 37).
tree_x=0.25 tree_top_row=0.23 dest_x=0.4 dest_y=0.16

# A run started from the Start menu: its progress window comes up active, Esc closes it while the run
# goes on, and the main window takes no command until the run is over. The source lies on a file system
# whose listings wait while a gate file exists, so the scan lasts until the case lets it go.
# gated_source: $C/src/Data shows $C/backing (a file in sub/) through a file system whose listings wait
# while $C/gate exists; returns 2 (skipped) without FUSE.
gated_source() {
    mkdir -p "$C/backing/sub" "$C/src/Data" "$C/dst/Data"
    echo data >"$C/backing/sub/file.txt"
    touch "$C/gate"
    /usr/bin/python3 "$here/gatefs.py" "$C/backing" "$C/src/Data" "$C/gate" >"$C/fs.log" 2>&1 &
    pids+=($!)
    mounts+=("$C/src/Data")
    poll 10 mountpoint -q "$C/src/Data" && return 0
    echo "gui: $case: skipped: no FUSE mount ($(tail -n 1 "$C/fs.log"))"
    return 2
}

# backup_keys: Alt+S, B in the main window.
backup_keys() {
    local before
    before=$(window_ids)
    key alt+s
    wait_new_window "$before" || { fail "Alt+S dropped no Start menu"; return 1; }
    key b
}

# start_backup: backup_keys; sets PROGRESS to the progress window, which must be active.
start_backup() {
    backup_keys || return 1
    find_progress() { windows | grep -v "^$MAIN " | awk -v r="$C/src/Data" \
        '{ id = $1; $1 = ""; t = substr($0, 2); if (t == "TD" || index(t, r) == 1) { print id; exit } }'; }
    progress_shown() { [ -n "$(find_progress)" ]; }
    poll 10 progress_shown || { fail "no progress window after Start > Backup (shown: $(windows | cut -d' ' -f2- | paste -sd,))"; return 1; }
    PROGRESS=$(find_progress)
    wait_active "$PROGRESS" "the progress window"
}

case_progress_window() {
    gated_source || return
    start "/srcdir:$C/src/Data" "/destdir:$C/dst/Data" || return 1
    local progress found
    start_backup || return 1
    progress=$PROGRESS
    key Escape
    wait_gone "$progress" || { fail "Esc did not close the progress window"; return 1; }
    [ -e "$C/gate" ] && ! ended || { fail "the run did not wait for the slow source"; return 1; }
    # Configure's key while the run is still scanning: the disabled main window must not take it.
    xdotool windowactivate "$MAIN" 2>/dev/null
    poll 5 is_active "$MAIN"
    key alt+c
    rm -f "$C/gate"
    wait_titled "Job List (1) files" || return 1
    found=$(find_titled Settings)
    [ -z "$found" ] || { fail "the main window opened Settings while the run was going on"; return 1; }
    wait_active "$WIN" "the job list" || return 1
    key Escape
    wait_gone "$WIN" || { fail "Esc did not close the job list"; return 1; }
    activate "$MAIN" "the main window after the run" || return 1
    key alt+c
    wait_titled Settings "Alt+C opened no Settings window after the run" || return 1
    key Escape
    wait_gone "$WIN" || { fail "Esc did not close Settings"; return 1; }
    [ -z "$(ls -A "$C/dst/Data")" ] || { fail "a cancelled job list copied files: $(ls -A "$C/dst/Data")"; return 1; }
    quit
}

# opens_about KEYS...: the keys open the context menu (a new popup window) whose About entry, chosen
# with its letter, opens "About Tandrel"; Esc closes it again.
opens_about() {
    local before
    before=$(window_ids)
    key "$@"
    wait_new_window "$before" || { fail "$* opened no menu"; return 1; }
    key a
    wait_titled "About Tandrel" "About Tandrel did not open from the menu of $*" || return 1
    key Escape
    wait_gone "$WIN" || { fail "Esc did not close About Tandrel"; return 1; }
}

# Shift+F10 and the Menu key on the folder tree open the context menu with About.
case_context_menu_keys() {
    folders Data
    start "/srcdir:$C/src/Data" "/destdir:$C/dst/Data" || return 1
    click 1 $tree_x $tree_top_row  # the focus into the tree
    opens_about shift+F10 || return 1
    activate "$MAIN" "the main window after About" || return 1
    opens_about Menu || return 1
    quit
}

# destination: the Destination field's text as copied from it (trailing "/" dropped).
destination() {
    click 1 $dest_x $dest_y
    key ctrl+a
    copy ctrl+c | sed 's:/$::'
}

# A right click on a tree row opens the menu and leaves the selection, hence the destination, alone.
case_right_click_keeps_destination() {
    folders Data
    start "/srcdir:$C/src/Data" "/destdir:$C/dst/Data" || return 1
    local shown
    shown=$(destination)
    [ "$shown" = "$C/dst/Data" ] || { fail "the Destination field reads \"$shown\" at the start"; return 1; }
    local before
    before=$(window_ids)
    click 3 $tree_x $tree_top_row
    wait_new_window "$before" || { fail "a right click on the tree opened no menu"; return 1; }
    key Escape
    shown=$(destination)
    [ "$shown" = "$C/dst/Data" ] || { fail "a right click on a row changed the destination to \"$shown\""; return 1; }
    # The row clicked is another folder: a left click there does change the destination.
    click 1 $tree_x $tree_top_row
    shown=$(destination)
    [ "$shown" != "$C/dst/Data" ] || { fail "the row clicked was the destination itself"; return 1; }
    quit
}

# help_box: Alt+H where the guide is missing opens a message box titled Tandrel; WIN is set to it.
help_box() {
    key alt+h
    box_shown() { windows | grep -v "^$MAIN " | grep -q " Tandrel$"; }
    poll 10 box_shown || { fail "Help showed no message box titled Tandrel"; return 1; }
    WIN=$(windows | grep -v "^$MAIN " | awk '/ Tandrel$/ { print $1; exit }')
    wait_active "$WIN" "the message box"
}

# Help where the guide is missing: a message box says so and names the folders looked in.
case_help_without_guide() {
    folders Data
    mkdir -p "$C/bin"
    cp "$td" "$C/bin/tandrel"
    BIN=$C/bin/tandrel start "/srcdir:$C/src/Data" "/destdir:$C/dst/Data" || return 1
    help_box || return 1
    local text missing="" part
    # Ctrl+C copies a message box's text, title and buttons, as the original platform's boxes do.
    text=$(copy ctrl+c) || { fail "Ctrl+C in the message box copied nothing"; return 1; }
    for part in TD.html "$C/bin" share/doc/tandrel share/tandrel; do
        [[ $text == *"$part"* ]] || missing="$missing \"$part\""
    done
    [ -z "$missing" ] || { fail "the message lacks$missing: $(echo "$text" | paste -sd' ')"; return 1; }
    key Return
    wait_gone "$WIN" || { fail "Enter did not close the message box"; return 1; }
    quit
}

# enter_ignored WHEN: Enter pressed in the main window neither ends the program nor opens a window.
enter_ignored() {
    local before
    activate "$MAIN" "the main window $1" || return 1
    before=$(window_ids)
    key Return
    sleep 1
    ! ended || { fail "Enter $1 ended the program"; return 1; }
    ! has_new "$before" || { fail "Enter $1 opened a window: $(windows | cut -d' ' -f2- | paste -sd,)"; return 1; }
}

# Enter does nothing in the main window: at the start (the focus on Quit), after a run, after a message box.
case_enter_does_nothing() {
    folders Data
    mkdir -p "$C/bin"
    cp "$td" "$C/bin/tandrel"  # no guide beside it: Help shows a message box
    BIN=$C/bin/tandrel start "/srcdir:$C/src/Data" "/destdir:$C/dst/Data" || return 1
    enter_ignored "at the start" || return 1
    backup_keys || return 1
    wait_titled "Job List (1) files" || return 1
    wait_active "$WIN" "the job list" || return 1
    key Return
    poll 10 test -e "$C/dst/Data/file.txt" || { fail "the backup copied nothing"; return 1; }
    wait_gone "$WIN" || { fail "the job list stayed"; return 1; }
    enter_ignored "after a run" || return 1
    help_box || return 1
    key Return
    wait_gone "$WIN" || { fail "Enter did not close the message box"; return 1; }
    enter_ignored "after a message box" || return 1
    quit
}

# A first start, keyboard only: the tree's menu (Shift+F10) takes src/Data of the home folder as source, the tree's selection dst/Data as destination, and the
# backup runs through the job list; the source is saved.
case_first_start() {
    mkdir -p "$C/home/src/Data" "$C/home/dst/Data"
    echo data >"$C/home/src/Data/file.txt"
    start || return 1
    # The tree opens on "/"; End reaches the home folder, the last root.
    key Tab End Right Right Down Right Right
    key shift+F10
    sleep 0.3
    key Down Return
    key Left Up Right Right
    backup_keys || return 1
    wait_titled "Job List (1) files" || return 1
    wait_active "$WIN" "the job list" || return 1
    key Return
    poll 10 test -s "$C/home/dst/Data/file.txt" || { fail "the backup copied nothing"; return 1; }
    # The copy is there before the run ends: Esc belongs to the main window only once it is alone again.
    alone() { [ -z "$(windows | grep -v "^$MAIN " | awk 'NF > 1')" ]; }
    poll 20 alone || { fail "the run did not end: $(windows | cut -d' ' -f2- | paste -sd,)"; return 1; }
    quit || return 1
    grep -qxF "m_strSourceDir=$C/home/src/Data/" "$C/config/tandrel/Tandrel.ini" ||
        fail "the source was not saved: $(grep m_strSourceDir "$C/config/tandrel/Tandrel.ini")"
}

# Through AT-SPI, every field of the main window and of Settings has a name a screen reader can say.
case_accessible_names() {
    [ -n "$bus" ] && /usr/bin/python3 -c "import pyatspi" 2>/dev/null ||
        { echo "gui: $case: skipped: no session bus or no pyatspi"; return 2; }
    folders Data
    start "/srcdir:$C/src/Data" "/destdir:$C/dst/Data" || return 1
    local names
    names=$(timeout 30 /usr/bin/python3 "$here/accessible.py" tandrel Tandrel 2>&1) || { fail "$names"; return 1; }
    key alt+c
    wait_titled Settings "Alt+C opened no Settings window" || return 1
    names=$(timeout 30 /usr/bin/python3 "$here/accessible.py" tandrel Settings 2>&1) || { fail "$names"; return 1; }
    key Escape
    wait_gone "$WIN"
    quit
}

# A run whose progress window was closed ends with a desktop notification on the session bus; a run
# watched to its end sends none.
case_notice_at_unseen_end() {
    [ -n "$bus" ] && /usr/bin/python3 -c "import dbus, gi" 2>/dev/null ||
        { echo "gui: $case: skipped: no session bus or no python3-dbus"; return 2; }
    /usr/bin/python3 "$here/notices.py" "$C/notices" >"$C/notices.out" 2>&1 &
    pids+=($!)
    poll 10 test -e "$C/notices.ready" || { fail "the test notification service did not start"; return 1; }
    gated_source || return
    rm -f "$C/gate"
    start "/srcdir:$C/src/Data" "/destdir:$C/dst/Data" || return 1
    backup_keys || return 1
    wait_titled "Job List (1) files" || return 1
    key Return
    poll 10 test -s "$C/dst/Data/sub/file.txt" || { fail "the watched backup copied nothing"; return 1; }
    activate "$MAIN" "the main window after the first run" || return 1
    [ ! -s "$C/notices" ] || { fail "a watched run sent a notification: $(cat "$C/notices")"; return 1; }
    echo more >"$C/backing/sub/new.txt"
    touch "$C/gate"
    start_backup || return 1
    key Escape
    rm -f "$C/gate"
    wait_titled "Job List (2) files" || return 1
    key Return
    poll 10 test -s "$C/notices" || { fail "no notification after a run behind a closed progress window"; return 1; }
    local notice expected
    notice=$(cat "$C/notices")
    expected="Tandrel: Backup ended	$C/src/Data/ → $C/dst/Data/|1 file copied to the destination, 1 unchanged, "
    [[ $notice == "$expected"*". OK!" ]] || { fail "the notification reads: $notice"; return 1; }
    quit
}

passed=0 failed=0 skipped=0
for case in progress_window context_menu_keys right_click_keeps_destination help_without_guide first_start \
    accessible_names notice_at_unseen_end enter_does_nothing; do
    C=$tmp/$case
    mkdir -p "$C"
    PID="" MAIN=""
    # Each case in a subshell would lose the process list; a case stops its own program when it fails.
    "case_$case"
    status=$?
    if [ -n "$PID" ] && ! ended; then
        rm -f "$C/gate"
        kill "$PID" 2>/dev/null
        poll 5 ended || kill -KILL "$PID" 2>/dev/null
    fi
    case $status in
        0) echo "gui: $case: ok"; passed=$((passed + 1)) ;;
        2) skipped=$((skipped + 1)) ;;
        *) failed=$((failed + 1)) ;;
    esac
done

# The tree's order and the job list's columns, in-process on the same display.
case=window_contents
QT_QPA_PLATFORM=xcb "$window_tests" >"$tmp/window_tests.log" 2>&1
status=$?
grep -E '^\[ +(OK|FAILED) +\] [A-Za-z]+\..* \(' "$tmp/window_tests.log" | sed "s/^/gui: $case: /"
if [ $status -eq 0 ] && grep -q '^\[  PASSED  \]' "$tmp/window_tests.log"; then
    echo "gui: $case: ok"
    passed=$((passed + 1))
else
    echo "gui: $case: FAILED"
    grep -v -e '^\[' -e '^$' "$tmp/window_tests.log" | sed 's/^/      | /' | head -n 60
    failed=$((failed + 1))
fi

echo "gui: $passed passed, $failed failed, $skipped skipped"
[ $failed -eq 0 ]
