#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# "Open With Tandrel" on a folder: installs the build folder into a prefix whose name holds a blank,
# checks that the real program started through the wrapper takes the folder as its source, then puts
# a stand-in for tandrel there that reports its arguments, and launches the installed desktop entry
# with GLib's launcher (the code file managers use to expand %f), once per awkward folder name and once
# without a folder as the menu does. The folder must arrive whole, as the one argument "/srcdir:FOLDER".
# Usage: check_open_with.sh BUILD_DIR
set -eu
build=$1
. "$(dirname "$0")/lib.sh"

command -v gio >/dev/null 2>&1 || { echo "FAIL: gio (libglib2.0-bin) is needed to launch desktop entries" >&2; exit 1; }

prefix="$tmp/inst prefix"
install_into "$build" "$prefix"
desktop="$prefix/share/applications/$app_id.desktop"

# First the real program, through the wrapper as the entry runs it: in headless mode it ends where it
# would show its window and saves its settings, which must hold the folder as the source.
real="$tmp/My \"real\" folder \$HOME it's"
mkdir "$real"
if env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$tmp/config" TMPDIR="$tmp" \
    timeout 60 "$prefix/libexec/tandrel/tandrel-open" "$real" >"$tmp/real.log" 2>&1; then
    grep -qxF "m_strSourceDir=$real/" "$tmp/config/tandrel/Tandrel.ini" 2>/dev/null ||
        fail "real program: Tandrel.ini does not hold the folder as source: $(cat "$tmp/config/tandrel/Tandrel.ini" 2>&1)"
else
    fail "real program through the wrapper failed: $(cat "$tmp/real.log")"
fi

# The stand-in writes its arguments, each ended by a NUL byte, into a FIFO, so the test reads them as
# soon as the launched process has run, without polling.
channel="$tmp/arguments"
mkfifo "$channel"
cat >"$prefix/bin/tandrel" <<STANDIN
#!/bin/sh
printf '%s\\0' started "\$@" >"$channel"
STANDIN
chmod +x "$prefix/bin/tandrel"

# launch NAME [FOLDER]: runs the desktop entry as a file manager would and checks the arguments the
# program received against "/srcdir:FOLDER", or against none when no folder is passed.
launch() {
    name=$1
    shift
    if [ "$#" -eq 0 ]; then
        printf '%s\0' started >"$tmp/expected"
    else
        printf '%s\0' started "/srcdir:$1" >"$tmp/expected"
    fi
    # No display and no session bus here: the launcher must still start the program.
    if ! env -u DISPLAY -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS \
        gio launch "$desktop" "$@" >"$tmp/launch.log" 2>&1; then
        fail "$name: gio launch failed: $(cat "$tmp/launch.log")"
        return
    fi
    if ! timeout 30 cat "$channel" >"$tmp/received"; then
        fail "$name: the program was not started"
        return
    fi
    cmp -s "$tmp/expected" "$tmp/received" ||
        fail "$name: expected [$(tr '\0' '|' <"$tmp/expected")] got [$(tr '\0' '|' <"$tmp/received")]"
}

folders="$tmp/folders"
mkdir "$folders"
row() {
    mkdir -p "$folders/$2"
    launch "$1" "$folders/$2"
}
row "blanks" "My Documents/Thesis 2026"
row "shell characters" "a;b&c|d \$HOME \`x\` (y) *?"
row "quotes" "it's \"quoted\""
row "percent sign" "100% done %f"
row "backslash" 'back\slash'
row "leading dash" "-rf"
row "line break" "two
lines"
row "not UTF-8" "$(printf 'caf\351')"
row "UTF-8" "Ünïcødé Ordner"
launch "menu, no folder"

finish
