#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build folder into a temporary prefix whose name holds a blank and checks what a user
# and the desktop get: every file in place, the desktop entry and AppStream data valid and consistent
# with each other, the icon they name installed, the manual page clean and complete, the help guide
# where the program looks for it, and a program that does not load libraries from the build folder.
# Usage: check_install.sh BUILD_DIR SOURCE_DIR VERSION
set -eu
build=$1
source=$2
version=$3
. "$(dirname "$0")/lib.sh"

prefix="$tmp/inst prefix"
install_into "$build" "$prefix"

desktop="$prefix/share/applications/$app_id.desktop"
metainfo="$prefix/share/metainfo/$app_id.metainfo.xml"
icon="$prefix/share/icons/hicolor/scalable/apps/$app_id.svg"
manpage="$prefix/share/man/man1/tandrel.1.gz"
guide="$prefix/share/tandrel/TD.html"
servicemenu="$prefix/share/kio/servicemenus/$app_id.desktop"
sendto="$prefix/share/Thunar/sendto/$app_id.desktop"

for f in "$prefix/bin/tandrel" "$prefix/libexec/tandrel/tandrel-open"; do
    [ -f "$f" ] && [ -x "$f" ] || fail "not an executable file: $f"
done
for f in "$desktop" "$servicemenu" "$sendto" "$metainfo" "$icon" "$manpage" "$prefix/share/doc/tandrel/copyright"; do
    [ -f "$f" ] && [ -s "$f" ] || fail "missing or empty: $f"
done
# The desktop entry is written by install-time code; it must still be listed for uninstalling.
grep -qxF "$desktop" "$build/install_manifest.txt" || fail "install_manifest.txt does not list $desktop"

# The help guide is optional in the source tree; where it exists it must be installed and copied beside
# the build folder's program, both up to date.
if [ -f "$source/docs/TD.html" ]; then
    cmp -s "$source/docs/TD.html" "$guide" || fail "installed help guide differs from docs/TD.html: $guide"
    cmp -s "$source/docs/TD.html" "$build/TD.html" || fail "help guide beside the built program is missing or stale"
elif [ -e "$guide" ]; then
    fail "help guide installed without docs/TD.html"
fi

# A build-tree RPATH would make the installed program load libraries from the build folder.
if command -v readelf >/dev/null 2>&1; then
    if readelf -d "$prefix/bin/tandrel" | grep -E 'R(UN)?PATH' | grep -F "$build" >/dev/null; then
        fail "installed tandrel keeps the build folder in its RPATH"
    fi
else
    fail "readelf missing (binutils)"
fi

# Desktop entry.
if [ -f "$desktop" ]; then
    if ! out=$(desktop-file-validate "$desktop" 2>&1) || [ -n "$out" ]; then
        fail "desktop-file-validate: $out"
    fi
    [ "$(desktop_value "$desktop" Type)" = Application ] || fail "desktop entry Type is not Application"
    categories=$(desktop_value "$desktop" Categories)
    for c in Utility Archiving; do
        case ";$categories" in *";$c;"*) ;; *) fail "desktop entry Categories lacks $c: $categories" ;; esac
    done
    # A menu entry for folders would become their default handler where no file manager claims them;
    # folders reach Tandrel through the file managers' context-menu entries, which run the same command.
    [ -z "$(desktop_value "$desktop" MimeType)" ] ||
        fail "the menu entry declares MIME types: $(desktop_value "$desktop" MimeType)"
    # Thunar reads its Send To targets as ordinary application entries (Dolphin's Type=Service is KDE's own).
    out=$(desktop-file-validate "$sendto" 2>&1) && [ -z "$out" ] || fail "desktop-file-validate $sendto: $out"
    for entry in "$servicemenu" "$sendto"; do
        [ "$(desktop_value "$entry" MimeType)" = "inode/directory;" ] || fail "$entry does not offer itself for folders"
        [ "$(sed -n 's/^Exec=//p' "$entry")" = "$(desktop_value "$desktop" Exec)" ] ||
            fail "$entry runs '$(sed -n 's/^Exec=//p' "$entry")', not the menu entry's command"
    done
    iconName=$(desktop_value "$desktop" Icon)
    [ -f "$prefix/share/icons/hicolor/scalable/apps/$iconName.svg" ] ||
        fail "desktop entry names icon '$iconName', which is not installed"
    case "$(desktop_value "$desktop" Exec)" in
        *"$prefix/libexec/tandrel/tandrel-open"*" %f") ;;
        *) fail "Exec does not run the installed wrapper with %f: $(desktop_value "$desktop" Exec)" ;;
    esac
fi

# AppStream data: valid, and naming the installed desktop entry, the project's version and the binary.
if [ -f "$metainfo" ]; then
    if ! out=$(appstreamcli validate --no-net "$metainfo" 2>&1); then
        fail "appstreamcli validate: $out"
    fi
    grep -q "<id>$app_id</id>" "$metainfo" || fail "metainfo id is not $app_id"
    launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
    [ -n "$launchable" ] && [ -f "$prefix/share/applications/$launchable" ] ||
        fail "metainfo launchable '$launchable' is not an installed desktop entry"
    newest=$(sed -n 's:.*<release version="\([^"]*\)".*:\1:p' "$metainfo" | head -n 1)
    [ "$newest" = "$version" ] || fail "newest release in metainfo is '$newest', the project is $version"
    if ! out=$(appstreamcli validate-tree --no-net "$prefix" 2>&1); then
        fail "appstreamcli validate-tree: $out"
    fi
fi

# GNOME Files' menu provider, loaded with stand-ins for the gi modules (no GNOME here): for one local
# folder it offers one item that starts the installed wrapper with that folder; for anything else none.
provider="$prefix/share/nautilus-python/extensions/tandrel_folder_menu.py"
if ! out=$(python3 - "$provider" "$prefix/libexec/tandrel/tandrel-open" 2>&1 <<'PY'
import runpy, sys, types
provider, wrapper = sys.argv[1:]
spawned = []
class Item:
    def __init__(self, **properties): self.properties, self.handlers = properties, []
    def connect(self, signal, handler, *data): self.handlers.append((handler, data))
class Location:
    def __init__(self, path): self.path = path
    def get_path(self): return self.path
class File:
    def __init__(self, path, folder, scheme="file"): self.path, self.folder, self.scheme = path, folder, scheme
    def is_directory(self): return self.folder
    def get_uri_scheme(self): return self.scheme
    def get_location(self): return Location(self.path)
gi = types.ModuleType("gi"); gi.repository = types.ModuleType("gi.repository")
gi.repository.GObject = types.SimpleNamespace(GObject=type("GObject", (), {}))
gi.repository.Nautilus = types.SimpleNamespace(MenuProvider=type("MenuProvider", (), {}), MenuItem=Item)
gi.repository.GLib = types.SimpleNamespace(spawn_async=spawned.append)
sys.modules.update({"gi": gi, "gi.repository": gi.repository})
menu = runpy.run_path(provider)["TandrelFolderMenu"]()
folder = "/srv/My Data"
items = menu.get_file_items([File(folder, True)])
assert len(items) == 1, items
handler, data = items[0].handlers[0]
handler(items[0], *data)
assert spawned == [[wrapper, folder]], spawned
assert menu.get_file_items(None, [File(folder, True)]), "the older (window, files) form"
for files in ([File("/srv/a.txt", False)], [File(folder, True), File("/srv/b", True)], [File(folder, True, "sftp")]):
    assert menu.get_file_items(files) == [], files
PY
); then
    fail "GNOME Files menu provider: $out"
fi
[ -x "$prefix/libexec/tandrel/tandrel-open" ] || fail "the wrapper the provider starts is not installed"

# One licence everywhere it is stated: the AppStream data, the copyright file's default paragraph, and
# the program itself (its About box).
licence=$(sed -n 's:.*<project_license>\(.*\)</project_license>.*:\1:p' "$metainfo")
[ -n "$licence" ] || fail "metainfo names no project licence"
copyright_licence=$(sed -n '/^Files: \*$/,/^$/s/^License: //p' "$prefix/share/doc/tandrel/copyright")
[ "$copyright_licence" = "$licence" ] || fail "copyright says '$copyright_licence' for Files: *, metainfo '$licence'"
grep -qaF -e "$licence" "$prefix/bin/tandrel" || fail "the program's About text does not name $licence"

# Icon: an SVG document, which is what the scalable folder promises, and PNG renditions whose pixel
# size is the one their folder names (width and height from the PNG header).
if [ -f "$icon" ]; then
    grep -q '<svg' "$icon" || fail "icon is not an SVG document"
fi
for side in 16 24 32 48 64 128 256; do
    png="$prefix/share/icons/hicolor/${side}x$side/apps/$app_id.png"
    size=$(od -An -tu1 -j16 -N8 "$png" 2>/dev/null | awk '{print $3*256+$4 "x" $7*256+$8}')
    [ "$size" = "${side}x$side" ] || fail "icon $png is '$size', not ${side}x$side"
done

# man_has_option OPTION: the rendered OPTIONS section starts a paragraph with OPTION, alone or in a
# list of aliases; the name ends at a comma or blank, except that an option ending in ":" runs into
# its value.
man_has_option() {
    end='($|[ ,])'
    case "$1" in *:) end='' ;; esac
    grep -qE "^ {7}([^ ]+, )*$(printf '%s' "$1" | sed 's/[?!.*]/[&]/g')$end" "$tmp/options.txt"
}

# Manual page: renders without a warning and documents every option, file, exit code and a cron line.
if [ -f "$manpage" ]; then
    out=$(gzip -dc "$manpage" | groff -man -ww -z 2>&1) || true
    [ -z "$out" ] || fail "groff warnings: $out"
    out=$(man --warnings -l "$manpage" 2>&1 >"$tmp/man.txt") || fail "man failed"
    [ -z "$out" ] || fail "man warnings: $out"
    # Rendered without hyphenation or justification, so each word is found as written.
    MANWIDTH=400 man -l "$manpage" 2>/dev/null | col -bx >"$tmp/man.txt"
    # Every option is described in OPTIONS, each name at the head of its paragraph.
    sed -n '/^OPTIONS$/,/^[A-Z][A-Z ]*$/p' "$tmp/man.txt" | sed '$d' >"$tmp/options.txt"
    for option in '/?' '/h' '/help' '--help' '-h' '--version' '/explorer:' '/srcdir:' '/destdir:' '/debug' \
        '/!backup' '/!b' '/!synchronize' '/!s' '/!quit' '/!q' '/alert' '/!alert'; do
        man_has_option "$option" || fail "manual page has no paragraph for option $option under OPTIONS"
    done
    for word in Tandrel.ini __TD.RVX TandrelAutoRun.log VOLMDEBUGLOG.INI XDG_CONFIG_HOME XDG_STATE_HOME \
        'EXIT STATUS' 'General Error!' 'ERROR!' 'OK!' "Tandrel $version"; do
        grep -qF -e "$word" "$tmp/man.txt" || fail "manual page does not mention $word"
    done
    grep -qE '^ +[0-9*]+ +[0-9*]+ +[0-9*]+ +[0-9*]+ +[0-9*]+ +tandrel .*/!q' "$tmp/man.txt" ||
        fail "manual page has no cron example that ends with /!q"
fi

# The installed program runs from its new place, in headless mode as under cron, and agrees with its
# documentation: its version is the project's, and every option its usage lists has a paragraph in
# the manual page.
run_headless() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$tmp/config" TMPDIR="$tmp" \
        XDG_STATE_HOME="$tmp/state" \
        timeout 60 "$prefix/bin/tandrel" "$@"
}
if got=$(run_headless --version 2>"$tmp/stderr"); then
    [ "$got" = "Tandrel $version" ] || fail "installed tandrel --version printed '$got'"
else
    fail "installed tandrel --version failed: $(cat "$tmp/stderr")"
fi
if run_headless '/?' >"$tmp/usage.txt" 2>"$tmp/stderr"; then
    # Each row starts with its aliases, separated by ", "; a trailing "#" stands for the value.
    awk '{ for (i = 1; i <= NF && $i ~ /^[-\/]/; i++) { o = $i; sub(/,$/, "", o); sub(/#$/, "", o); print o } }' \
        "$tmp/usage.txt" >"$tmp/listed"
    [ -s "$tmp/listed" ] || fail "installed tandrel /? listed no options"
    while IFS= read -r option; do
        man_has_option "$option" || fail "option $option of the usage has no paragraph in the manual page"
    done <"$tmp/listed"
else
    fail "installed tandrel /? failed: $(cat "$tmp/stderr")"
fi

finish
