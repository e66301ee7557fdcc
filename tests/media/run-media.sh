#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# run-media.sh TANDREL_BINARY [MEDIUM...]: runs the built program unattended onto real file systems
# (exFAT, FAT, NTFS with and without case folding, an sshfs share, an rclone mount; all of them or the
# ones named) and checks what arrives. One line per medium, then the counts; exit 1 when a check failed, 77 when no
# medium could be mounted at all (not root, no FUSE).
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/media-lib.sh"
[ $# -ge 1 ] && [ -x "$1" ] || { echo "usage: $0 TANDREL_BINARY [MEDIUM...]" >&2; exit 2; }
td=$(realpath "$1")
shift
only=" $* "

media_init || exit 2
umask 022
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export LC_ALL=C.UTF-8 HOME=$MEDIA_TMP/env/home XDG_CONFIG_HOME=$MEDIA_TMP/env/config
export XDG_STATE_HOME=$MEDIA_TMP/env/state TMPDIR=$MEDIA_TMP/env/tmp
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_STATE_HOME" "$TMPDIR" "$MEDIA_TMP/work" "$MEDIA_TMP/mnt"
# The run log has lived in the temporary folder; the state folder is where it may move.
run_logs=("$TMPDIR/TandrelAutoRun.log" "$XDG_STATE_HOME/tandrel/TandrelAutoRun.log")
out=$MEDIA_TMP/out
log=$MEDIA_TMP/run.log

# Odd seconds and odd nanoseconds, so that every coarse medium has to round them.
T0=1614834367
stamp() { echo "@$((T0 + ${1:-0})).123456789"; }

# td_run b|s SRC DST: one unattended backup or synchronize. STATUS is its exit status, RESULT the last
# "OK"/"ERROR" it added to the log ("none" when it added neither), $log the lines it added, $out what it
# printed. td_mark and td_collect do the log's part for a run started otherwise.
td_mark() {
    local f
    log_sizes=()
    for f in "${run_logs[@]}"; do log_sizes+=("$(stat -c %s "$f" 2>/dev/null || echo 0)"); done
}
td_collect() {
    local f i=0
    : >"$log"
    for f in "${run_logs[@]}"; do
        [ -f "$f" ] && tail -c +$((log_sizes[i] + 1)) "$f" >>"$log"
        i=$((i + 1))
    done
    RESULT=$(grep -oE '\] (OK|ERROR)!$' "$log" | tail -n 1 | tr -dc A-Z)
    RESULT=${RESULT:-none}
}
td_run() {
    td_mark
    timeout -s KILL 60 "$td" "/srcdir:$2" "/destdir:$3" "/!$1" /!q </dev/null >"$out" 2>&1
    STATUS=$?
    td_collect
}

# why TEXT: fails the current check; its first failure also shows what the last run printed and logged.
why() {
    echo "  $medium: ${check//_/ }: $*"
    if [ $check_failed -eq 0 ]; then
        tail -n 3 "$out" | sed 's/^/      | /'
        grep -v -e '^$' -e '^;' "$log" | tail -n 6 | sed 's/^/      > /'
    fi
    check_failed=1
    return 1
}
expect() { [ "$RESULT" = "$1" ] || why "run ended $RESULT (exit status $STATUS), expected $1"; }

# pair NAME: a fresh source $S on the local disk and destination $D on the medium, both called Data.
pair() {
    S=$MEDIA_TMP/work/$medium/$1/Data
    D=$mnt/$1/Data
    rm -rf "$S" "$D"
    mkdir -p "$S" "$D"
}
# put FILE TEXT [SECONDS]: a file holding TEXT, written SECONDS after T0.
put() {
    mkdir -p "$(dirname "$1")"
    printf '%s\n' "$2" >"$1" && touch -d "$(stamp "${3:-0}")" "$1"
}
holds() { [ "$(cat "$1" 2>/dev/null)" = "$2" ]; }
trait() { [[ ,$traits, == *,$1,* ]]; }

# same_files SRC DST: every file of SRC is in DST with equal contents and the same write time, give or
# take the two seconds of the coarsest medium.
same_files() {
    local f t
    while IFS= read -r -d '' f; do
        [ -f "$2/$f" ] || { why "$2/$f is missing"; return 1; }
        t=$(($(stat -c %Y "$2/$f") - $(stat -c %Y "$1/$f")))
        ((t >= -2 && t <= 2)) || { why "$2/$f: its time is off by $t s"; return 1; }
        cmp -s "$1/$f" "$2/$f" || { why "$2/$f differs"; return 1; }
    done < <(find "$1" -type f -printf '%P\0')
}

leftovers() { find "$@" -name .tandrel-versions -prune -o -name '.tandrel-*' ! -name .tandrel-notes -print; }

check_first_backup() {
    pair basic
    put "$S/one" one
    put "$S/two words" two 3600
    put "$S/sub/deep/three" three
    put "$S/sub/four" "$(seq 20000)" 7
    td_run b "$S" "$D"
    expect OK && same_files "$S" "$D"
}

# A copy whose time the medium truncated must compare equal to its original: the marker stays.
check_nothing_to_copy() {
    S=$MEDIA_TMP/work/$medium/basic/Data D=$mnt/basic/Data
    printf 'marker\n' >"$D/one" && touch -r "$S/one" "$D/one"
    td_run b "$S" "$D"
    expect OK || return 1
    holds "$D/one" marker || why "an unchanged file was copied again"
}

check_minute_change() {
    S=$MEDIA_TMP/work/$medium/basic/Data D=$mnt/basic/Data
    put "$S/two words" "two, changed" 3660
    td_run b "$S" "$D"
    expect OK || return 1
    holds "$D/two words" "two, changed" || why "a source newer by a minute was not backed up"
    put "$D/sub/deep/three" "three, changed" 60
    td_run s "$S" "$D"
    expect OK || return 1
    holds "$S/sub/deep/three" "three, changed" || why "a medium's file newer by a minute did not come back"
}

# readme (A), README (B) and Readme (C): where names differ in case only, no content may replace another.
# names_hold DIR: each of them in DIR holds its own contents (unless the medium lists every name in
# lower case, which hides the name a file was made with).
names_hold() {
    local f want
    trait lower && [[ $1 == "$mnt"/* ]] && return 0
    for f in "$1"/*; do
        case ${f##*/} in readme) want=A ;; README) want=B ;; Readme) want=C ;; *) continue ;; esac
        holds "$f" $want || why "${f##*/} holds '$(cat "$f")' instead of $want ($(seen))"
    done
}
# seen: the pair's files and their contents, as the last run left them.
seen() { echo "source:$(listing "$S"); medium:$(listing "$D")"; }
listing() {
    local f
    for f in "$1"/*; do printf ' %s=%s' "${f##*/}" "$(cat "$f")"; done
}
check_case_clash() {
    local want=OK
    trait fold && want=ERROR
    pair clash
    put "$S/readme" A
    put "$S/README" B 60
    td_run b "$S" "$D"
    [ "$RESULT" = $want ] || why "run ended $RESULT, expected $want ($(seen))"
    holds "$S/readme" A && holds "$S/README" B || why "the source changed ($(seen))"
    names_hold "$D"
    if ! trait fold; then
        holds "$D/readme" A && holds "$D/README" B || why "readme and README did not both arrive ($(seen))"
    fi

    pair clash-sync
    put "$S/readme" A
    put "$S/README" B 60
    put "$D/Readme" C 30
    td_run s "$S" "$D"
    [ "$RESULT" = $want ] || why "run ended $RESULT, expected $want ($(seen))"
    names_hold "$S"
    names_hold "$D"
    holds "$S/readme" A && holds "$S/README" B || why "the source lost readme or README ($(seen))"
    holds "$D/Readme" C || why "the medium lost Readme ($(seen))"
    trait fold && return
    holds "$S/Readme" C && holds "$D/readme" A && holds "$D/README" B ||
        why "not all three arrived on both sides ($(seen))"
}

# Letters that one medium makes one name and another keeps apart (code points; the rules that make
# them one: A ASCII, E exFAT, N NTFS). Two source files of a pair that the medium makes one stop the run
# before it copies anything; any other pair arrives as two files.
letter_pairs="
61:41 AEN
e9:c9 EN
df:1e9e -
3c2:3c3 E
3c3:3a3 EN
131:49 -
130:69 -
212a:6b -
b5:3bc -
ff21:ff41 EN
e9:65+301 -
"
utf8() { python3 -c 'import sys; print("".join(chr(int(c, 16)) for c in sys.argv[1].split("+")), end="")' "$1"; }
check_case_letters() {
    local codes rules a b rule i=0
    rule=$(sed -n 's/.*rule=\(.\).*/\1/p' <<<"$traits")
    # The pairs the medium keeps apart share one run; each pair it makes one stops a run of its own.
    pair letters-apart
    local apart=$S apart_dest=$D
    while read -r codes rules; do
        [ -n "$codes" ] || continue
        i=$((i + 1))
        a=$(utf8 "${codes%%:*}") b=$(utf8 "${codes##*:}")
        # fusefat refuses every letter beyond ASCII (the colon check covers a refused name).
        trait fat && [[ $a$b == *[^[:ascii:]]* ]] && continue
        if [ -n "$rule" ] && [[ $rules == *$rule* ]]; then
            pair "letters-$i"
            put "$S/$a" A
            put "$S/$b" B 60
            td_run b "$S" "$D"
            [ "$RESULT" = ERROR ] || why "$a and $b: run ended $RESULT, expected ERROR ($(seen))"
            [ -z "$(ls -A "$D")" ] || why "$a and $b: something was copied ($(seen))"
        else
            put "$apart/$i$a" A
            put "$apart/$i$b" B 60
        fi
    done <<<"$letter_pairs"
    S=$apart D=$apart_dest
    td_run b "$S" "$D"
    expect OK && same_files "$S" "$D"
}

# The medium bind-mounted into a folder of a destination on the local disk: its letter case, time step
# and modes hold there as at a root.
check_medium_inside() {
    local inner=$mnt/inside mode want=OK
    S=$MEDIA_TMP/work/$medium/inside/Data D=$MEDIA_TMP/work/$medium/inside-dest/Data
    rm -rf "$S" "$D" "$inner"
    mkdir -p "$S/stick" "$D/stick" "$inner"
    mount --bind "$inner" "$D/stick" || { why "cannot bind-mount the medium"; return; }
    put "$S/stick/one" one
    put "$S/top" top
    td_run b "$S" "$D"
    expect OK && same_files "$S" "$D"
    printf 'marker\n' >"$D/stick/one" && touch -d "$(stamp)" "$D/stick/one"
    put "$D/stick/made-there" x 60
    td_run s "$S" "$D"
    expect OK
    holds "$D/stick/one" marker || why "an unchanged file on the inner medium was copied again"
    mode=$(stat -c %a "$S/stick/made-there" 2>/dev/null)
    trait 777 && [ "$mode" != 644 ] && why "a file from the inner medium arrived with mode $mode, not 644"
    put "$S/stick/readme" A
    put "$S/stick/README" B 60
    trait fold && want=ERROR
    td_run b "$S" "$D"
    [ "$RESULT" = $want ] || why "readme and README inside: run ended $RESULT, expected $want ($(seen))"
    umount "$D/stick"
}

# A FAT driver that converts times through its time zone reads them back hours off: the run refuses, by
# how much and with the cure.
check_clock_offset() {
    trait fat || return 0
    local zone want text tz=$MEDIA_TMP/mnt/tz
    while read -r zone want text; do
        [ -n "$zone" ] || continue
        mkdir -p "$tz"
        mount_fat_tz "$zone" "$tz" || { why "cannot mount fusefat in $zone"; return; }
        pair clock
        put "$S/a" a
        mkdir -p "$tz/Data"
        td_run b "$S" "$tz/Data"
        umount "$tz"
        [ "$RESULT" = "$want" ] || why "$zone: run ended $RESULT, expected $want"
        if [ -n "$text" ]; then
            grep -qF "$text" "$log" && grep -qF "tz=UTC" "$log" || why "$zone: no message saying $text and tz=UTC"
        fi
    done <<<"
UTC               OK
America/New_York  ERROR  18000 seconds (5:00 hours) later
Asia/Tokyo        ERROR  32400 seconds (9:00 hours) earlier
"
}

# A read-only medium whose modes no probe can try and that shows one mode on every file hands none of it
# to a copy. It leaves the medium mounted read-only, so it comes last.
check_readonly_medium_modes() {
    [[ " exfat ntfs ntfs-ic " == *" $medium "* ]] || return 0
    local source mode
    pair ro-modes
    put "$D/made-there" x
    source=$(awk -v m="$mnt" '$2 == m { print $1 }' /proc/self/mounts)
    umount "$mnt" || { why "cannot unmount"; return; }
    case $medium in
        exfat) media_try "$MEDIA_TMP/mount.log" mount.exfat-fuse -o ro "$source" "$mnt" ;;
        ntfs) media_try "$MEDIA_TMP/mount.log" ntfs-3g -o ro "$source" "$mnt" ;;
        ntfs-ic) media_try "$MEDIA_TMP/mount.log" lowntfs-3g -o ro,ignore_case "$source" "$mnt" ;;
    esac || { why "cannot mount read-only: $(tail -n 1 "$MEDIA_TMP/mount.log")"; return; }
    td_run s "$S" "$D"
    expect OK
    mode=$(stat -c %a "$S/made-there" 2>/dev/null)
    [ "$mode" = 644 ] || why "a file from the read-only medium arrived with mode $mode, not 644"
}

# Media that show every file as 0777 must not hand that mode to a new source file.
check_new_file_mode() {
    trait 777 || return 0
    local mode
    pair mode
    put "$D/made-there" x
    td_run s "$S" "$D"
    expect OK || return 1
    mode=$(stat -c %a "$S/made-there" 2>/dev/null) || { why "the file did not arrive"; return; }
    [ "$mode" = 644 ] || why "the new source file has mode $mode, not 644 (umask 022)"
}

check_readonly_source() {
    pair readonly
    put "$S/a" a
    put "$S/sub/b" b 1
    mount --bind "$S" "$S" && mount -o remount,bind,ro "$S" ||
        { why "cannot bind-mount the source read-only"; return; }
    td_run b "$S" "$D"
    umount "$S"
    expect OK && same_files "$S" "$D"
}

# Killed while it writes the first files, a run may leave temporary files; the next run (a synchronize,
# so that a file found on the medium only is fine) must clear them, yet keep a user's file that merely
# looks like one.
check_killed_run() {
    local try i pid seen written left
    for try in 1 2 3; do
        pair killed
        for i in $(seq 0 9); do mkdir "$S/d$i"; done
        for i in $(seq 300); do head -c $((try * 16384)) /dev/urandom >"$S/d$((i % 10))/f$i"; done
        find "$S" -type f -exec touch -d "$(stamp)" {} +
        td_mark
        "$td" "/srcdir:$S" "/destdir:$D" /!b /!q </dev/null >"$out" 2>&1 &
        pid=$!
        # Best while a temporary file is there; otherwise a moment after the first file arrived.
        seen=0
        for _ in $(seq 3000); do
            kill -0 $pid 2>/dev/null || break
            [ -n "$(find "$D" -name '.tandrel-*' -print -quit)" ] && break
            [ -n "$(find "$D" -type f -print -quit)" ] && ((++seen > 20)) && break
            sleep 0.01
        done
        kill -9 $pid 2>/dev/null
        { wait $pid; } 2>/dev/null
        STATUS=$?
        td_collect
        [ $STATUS -eq 137 ] && break
    done
    [ $STATUS -eq 137 ] || { why "every run ended before it could be killed (it ended $RESULT)"; return; }
    written=$(find "$D" -type f | wc -l)
    put "$D/.tandrel-notes" notes
    td_run s "$S" "$D"
    expect OK
    left=$(leftovers "$S" "$D")
    [ -z "$left" ] || why "killed with $written files written; $(wc -l <<<"$left") left, e.g. ${left%%$'\n'*}"
    holds "$D/.tandrel-notes" notes || why "the user's .tandrel-notes is gone or changed"
    same_files "$S" "$D"
}

# A FUSE driver writes to its disk only when a file is flushed (fsync): every copy, new or replacing,
# must be flushed before it takes its name with its original's time, or a power cut could leave an empty
# file that looks done. The trace shows each temporary file's flush and rename.
check_flushed_before_named() {
    command -v strace >/dev/null || return 0
    local trace=$MEDIA_TMP/flush.trace verdict
    pair flushed
    put "$S/new" new 60
    put "$S/sub/also new" "$(seq 5000)" 60
    put "$S/replaced" new 60
    put "$D/replaced" old
    td_mark
    timeout -s KILL 60 strace -f -y -qq -e trace=fsync,fdatasync,rename,renameat,renameat2 -o "$trace" \
        "$td" "/srcdir:$S" "/destdir:$D" /!b /!q </dev/null >"$out" 2>&1
    STATUS=$?
    td_collect
    expect OK && same_files "$S" "$D" || return
    verdict=$(python3 - "$trace" "$mnt/" <<'PY'
import re, sys
flushed, renamed, bare = set(), 0, []
for line in open(sys.argv[1], errors="replace"):
    m = re.search(r"\b(?:fsync|fdatasync)\(\d+<([^>]*)>", line)
    if m:
        flushed.add(m.group(1).rsplit("/", 1)[-1])
    m = re.search(r"\brename(?:at2?)?\(\d+<([^>]*)>, \"(\.tandrel-[^\"]*)\"", line)
    if m and (m.group(1) + "/").startswith(sys.argv[2]):
        renamed += 1
        if m.group(2) not in flushed:
            bare.append(m.group(2))
print(f"renamed without a flush: {', '.join(bare)}" if bare else "" if renamed >= 3 else
      f"{renamed} renames seen on the medium, 3 expected")
PY
)
    [ -z "$verdict" ] || why "$verdict"
}

# FAT has no ":" in names: the run must say so and harm nothing else.
check_colon_name() {
    trait fat || return 0
    local extra
    pair colon
    put "$S/a:b" colon
    put "$S/other" new 60
    put "$D/other" old
    td_run b "$S" "$D"
    expect ERROR
    grep -qF 'a:b' "$log" || why "no message about a:b in the log"
    holds "$S/a:b" colon && holds "$S/other" new || why "the source changed"
    holds "$D/other" old || holds "$D/other" new || why "other holds '$(cat "$D/other")'"
    extra=$(find "$D" -mindepth 1 ! -name other -printf '%P ')
    [ -z "$extra" ] || why "unexpected files in the destination: $extra"
}

# Check-in and check-out are started from the window only; the engine's own test of their guard runs here
# on a medium that cannot keep files read-only, which it must refuse.
check_no_readonly_lock() {
    trait 777 && [ -x "${TANDREL_ENGINE_TESTS:-}" ] || return 0
    TANDREL_NO_READONLY_DIR=$mnt "$TANDREL_ENGINE_TESTS" --gtest_brief=1 \
        --gtest_filter=CheckInOut.RefusedWhereAMediumCannotKeepReadOnly >"$out" 2>&1 && ! grep -q SKIPPED "$out" ||
        why "$(grep -m 3 -e Failure -e Which -e SKIPPED "$out" | tr '\n' ' ')"
}

# Killed while it replaces files keeping their versions, a run leaves each file old, or new with its
# version; where the medium has no hard links (FAT, exFAT, rclone) the old file is moved first, and killed
# between the two renames the name is missing until the next run, which must mend it.
# Not on fusefat: after this round's renames it lists the killed run's temporary file under a cut name
# (".tandrel-" and four letters) that no run can prove its own, so the file stays behind.
check_kept_versions() {
    trait fat && return 0
    local ini=$XDG_CONFIG_HOME/tandrel/Tandrel.ini v i pid
    mkdir -p "${ini%/*}" && printf '[Config]\nKeepReplacedDays=7\n' >"$ini"
    pair versions
    for i in $(seq 100); do put "$D/f$i" "old $i" 60; put "$S/f$i" "new $i" 120; done
    "$td" "/srcdir:$S" "/destdir:$D" /!b /!q </dev/null >"$out" 2>&1 &
    pid=$!
    for _ in $(seq 3000); do [ -d "$D/.tandrel-versions" ] || ! kill -0 $pid 2>/dev/null && break; sleep 0.005; done
    sleep 0.0$((RANDOM % 9))
    kill -9 $pid 2>/dev/null
    { wait $pid; } 2>/dev/null
    for i in $(seq 100); do
        v=$(find "$D/.tandrel-versions" -name "f$i" -print -quit 2>/dev/null)
        if holds "$D/f$i" "old $i"; then
            [ -z "$v" ] || holds "$v" "old $i"
        else
            { holds "$D/f$i" "new $i" || { [ ! -e "$D/f$i" ] && { trait fold || [ "$medium" = rclone ]; }; }; } && holds "$v" "old $i"
        fi || why "f$i holds '$(cat "$D/f$i" 2>&1)', its version '$(cat "$v" 2>&1)'"
    done
    td_run b "$S" "$D"
    expect OK && same_files "$S" "$D"
    rm -f "$ini"
}

# Whatever the runs above did, no temporary file may stay on the medium.
check_no_leftovers() {
    local left
    left=$(leftovers "$mnt" | sed "s|^$mnt/||")
    [ -z "$left" ] || why "left behind: $(head -n 3 <<<"$left" | tr '\n' ' ')"
}

checks="first_backup nothing_to_copy minute_change case_clash case_letters medium_inside clock_offset
    new_file_mode readonly_source killed_run flushed_before_named colon_name no_readonly_lock kept_versions
    readonly_medium_modes no_leftovers"

# medium  mount function  traits: fold = names that differ in case only are one file,
# 777 = every file shows mode 0777, lower = lists every name in lower case, fat = the FAT name rules,
# rule=X = which letters it makes one (as in letter_pairs)
media_table="
exfat   mount_exfat    fold,777,rule=E
fat     mount_fat      fold,fat,rule=A
ntfs    mount_ntfs     777
ntfs-ic mount_ntfs_ic  fold,777,lower,rule=N
sshfs   mount_sshfs    -
rclone  mount_rclone   777
"

passed=0 failed=0 skipped=0
mapfile -t rows <<<"$media_table"
for row in "${rows[@]}"; do
    read -r medium mounter traits <<<"$row"
    [ -n "$medium" ] && [[ $# -eq 0 || $only == *" $medium "* ]] || continue
    mnt=$MEDIA_TMP/mnt/$medium
    mkdir -p "$mnt"
    if ! $mounter "$mnt" 2>"$MEDIA_TMP/reason"; then
        echo "media: $medium: skipped ($(head -n 1 "$MEDIA_TMP/reason"))"
        skipped=$((skipped + 1))
        continue
    fi
    bad=()
    for check in $checks; do
        check_failed=0
        "check_$check"
        [ $check_failed -eq 0 ] || bad+=("${check//_/ }")
    done
    media_umount "$mnt" || bad+=("unmount")
    if [ ${#bad[@]} -eq 0 ]; then
        echo "media: $medium: passed"
        passed=$((passed + 1))
    else
        echo "media: $medium: FAILED ($(IFS=,; echo "${bad[*]}" | sed 's/,/, /g'))"
        failed=$((failed + 1))
    fi
done

echo "$passed passed, $failed failed, $skipped skipped"
[ $failed -eq 0 ] || exit 1
[ $passed -gt 0 ] || exit 77
exit 0
