#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package as it is shipped: built by scripts/package.sh from the "package" preset into a
# folder of its own below the test build (reused, so later runs only rebuild what changed), checked by
# lintian (no error, no warning, and no informational tag without a reason in the overrides), by its
# control data and exact contents, then installed on this machine with dpkg -i as an administrator
# who leaves /usr/share/doc out would install it, run, asked about folders, and purged, leaving nothing.
# Installing needs root (CI runs as root); elsewhere the install part is skipped.
# Usage: check_deb.sh BUILD_DIR SOURCE_DIR VERSION
set -eu
build=$1
source=$2
version=$3
. "$(dirname "$0")/lib.sh"

for tool in lintian dpkg-shlibdeps desktop-file-validate gio man update-desktop-database; do
    command -v "$tool" >/dev/null 2>&1 || { echo "FAIL: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done

if ! "$source/scripts/package.sh" "$build/package" "$tmp/out" >"$tmp/package.log" 2>&1; then
    cat "$tmp/package.log" >&2
    echo "FAIL: scripts/package.sh" >&2
    exit 1
fi
# The release build compiles each library as one unit, where a name that two files share first shows, as
# an error or a warning. A reused build folder compiles, and so shows, only what changed.
if grep -q 'warning:' "$tmp/package.log"; then
    grep -A3 'warning:' "$tmp/package.log" >&2
    fail "the release build warns"
fi
set -- "$tmp"/out/*.deb
[ "$#" -eq 1 ] && [ -f "$1" ] || { echo "FAIL: expected one .deb, found: $*" >&2; exit 1; }
deb=$1
# Packed again from the same build: the bytes must not change (times come from SOURCE_DATE_EPOCH).
sleep 1
"$source/scripts/package.sh" "$build/package" "$tmp/again" >"$tmp/package.log" 2>&1 || fail "scripts/package.sh again"
cmp -s "$deb" "$tmp"/again/*.deb || fail "two packages of one commit differ: $(cmp "$deb" "$tmp"/again/*.deb)"

# lintian: every tag it prints fails, informational ones included; a tag left on purpose is overridden
# in packaging/lintian-overrides with its reason and then not printed.
lintian --display-info --fail-on error,warning "$deb" >"$tmp/lintian.log" 2>&1 || true
grep -v '^running with root privileges' "$tmp/lintian.log" >"$tmp/tags" || true
[ ! -s "$tmp/tags" ] || fail "lintian: $(cat "$tmp/tags")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tandrel ] || fail "Package is '$(field Package)'"
revision=$(sed -n '1s/^tandrel (\([^)]*\)).*/\1/p' "$source/packaging/changelog.Debian")
[ "$(field Version)" = "$revision" ] && [ "${revision%-*}" = "$version" ] ||
    fail "Version is '$(field Version)', the changelog says '$revision', the project is $version"
[ "$(field Section)" = utils ] || fail "Section is '$(field Section)'"
[ "$(field Priority)" = optional ] || fail "Priority is '$(field Priority)'"
[ -n "$(field Homepage)" ] || fail "no Homepage"
case "$(field Maintainer)" in
    *?"<"*@*">") ;;
    *) fail "Maintainer is not 'Name <address>': '$(field Maintainer)'" ;;
esac
# Libraries as dpkg-shlibdeps found them, and the SVG plugins Qt loads at run time.
depends=$(field Depends)
for package in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6; do
    case ", $depends," in *", $package "*|*", $package,"*) ;; *) fail "Depends lacks $package: $depends" ;; esac
done
for plugin in imageformats/libqsvg.so iconengines/libqsvgicon.so; do
    dpkg -S "*/qt6/plugins/$plugin" 2>/dev/null | grep -q '^libqt6svg6:' ||
        fail "libqt6svg6 does not hold plugins/$plugin on this machine"
done

# Exactly the expected files: nothing missing, and no build or test file carried in by mistake.
{
    printf '%s\n' ./usr/bin/tandrel ./usr/libexec/tandrel/tandrel-open \
        "./usr/share/applications/$app_id.desktop" "./usr/share/kio/servicemenus/$app_id.desktop" \
        "./usr/share/Thunar/sendto/$app_id.desktop" "./usr/share/metainfo/$app_id.metainfo.xml" \
        "./usr/share/icons/hicolor/scalable/apps/$app_id.svg" ./usr/share/man/man1/tandrel.1.gz \
        ./usr/share/doc/tandrel/copyright ./usr/share/doc/tandrel/changelog.Debian.gz \
        ./usr/share/lintian/overrides/tandrel ./usr/share/nautilus-python/extensions/tandrel_folder_menu.py
    for side in 16 24 32 48 64 128 256; do echo "./usr/share/icons/hicolor/${side}x$side/apps/$app_id.png"; done
    [ ! -f "$source/docs/TD.html" ] || echo ./usr/share/tandrel/TD.html
} | sort >"$tmp/expected"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sort >"$tmp/contents"
comm -23 "$tmp/expected" "$tmp/contents" | while IFS= read -r f; do echo "FAIL: package lacks $f" >&2; done
comm -13 "$tmp/expected" "$tmp/contents" | while IFS= read -r f; do echo "FAIL: package holds unexpected $f" >&2; done
cmp -s "$tmp/expected" "$tmp/contents" || fail "package contents differ from the expected files"

# The release build: stripped, PIE, full RELRO with immediate binding, fortified calls.
dpkg -x "$deb" "$tmp/x"
program="$tmp/x/usr/bin/tandrel"
readelf -S "$program" | grep -q '\.symtab' && fail "usr/bin/tandrel is not stripped"
readelf -d "$program" | grep -q 'FLAGS_1.*NOW.*PIE' || fail "usr/bin/tandrel lacks -z now or PIE: $(readelf -d "$program" | grep FLAGS)"
readelf -lW "$program" | grep -q GNU_RELRO || fail "usr/bin/tandrel lacks RELRO"
nm -D "$program" | grep -q '_chk@' || fail "usr/bin/tandrel calls no fortified function"
exec_line=$(desktop_value "$tmp/x/usr/share/applications/$app_id.desktop" Exec)
[ "$exec_line" = "/usr/libexec/tandrel/tandrel-open %f" ] || fail "Exec line of the packaged entry: '$exec_line'"

if [ "$(id -u)" -ne 0 ]; then
    echo "not root: the package was built and checked, the install with dpkg -i was skipped"
    finish
    exit 0
fi
status=$(dpkg-query -W -f='${db:Status-Status}' tandrel 2>/dev/null || true)
if [ -n "$status" ] && [ "$status" != not-installed ]; then
    fail "a tandrel package is installed on this machine already; the test leaves it alone"
    finish
fi

# Installed as on a machine that leaves /usr/share/doc out (Debian's own minimal images do), keeping
# only the copyright as Debian Policy asks; removed on every way out of this script.
trap 'dpkg --purge tandrel >/dev/null 2>&1 || true; rm -rf "$tmp"' EXIT
dpkg --path-exclude='/usr/share/doc/*' --path-include='/usr/share/doc/tandrel' --path-include='/usr/share/doc/tandrel/copyright' \
    -i "$deb" >"$tmp/dpkg.log" 2>&1 || fail "dpkg -i: $(cat "$tmp/dpkg.log")"
dpkg -L tandrel >"$tmp/installed" 2>/dev/null || true

out=$(env -u DISPLAY -u WAYLAND_DISPLAY tandrel --version 2>&1) || fail "tandrel --version failed: $out"
[ "$out" = "Tandrel $version" ] || fail "tandrel --version printed '$out'"
[ "$(command -v tandrel)" = /usr/bin/tandrel ] || fail "tandrel on PATH is $(command -v tandrel)"
[ "$(man -w tandrel 2>&1)" = /usr/share/man/man1/tandrel.1.gz ] || fail "man -w tandrel: $(man -w tandrel 2>&1)"
[ -f /usr/share/tandrel/TD.html ] || fail "the help guide is gone with /usr/share/doc left out"
[ ! -e /usr/share/doc/tandrel/changelog.Debian.gz ] || fail "--path-exclude did not apply; the check above proves nothing"

# Folders: with the package installed, the MIME system must not name Tandrel for inode/directory, as
# default or as a registered handler. The user's own choices are kept out of the question; a copy of the
# entry that does claim folders, in a private data folder, shows that the question would see a claim.
mime_query() {
    env XDG_CONFIG_HOME="$tmp/config" XDG_CONFIG_DIRS="$tmp/config" XDG_DATA_HOME="$1" \
        XDG_DATA_DIRS=/usr/local/share:/usr/share gio mime inode/directory 2>&1
}
mkdir -p "$tmp/config" "$tmp/nodata" "$tmp/claim/applications"
if mime_query "$tmp/nodata" | grep -q "$app_id"; then
    fail "gio mime inode/directory names Tandrel: $(mime_query "$tmp/nodata")"
fi
{ cat "/usr/share/applications/$app_id.desktop"; echo "MimeType=inode/directory;"; } \
    >"$tmp/claim/applications/claim-$app_id.desktop"
update-desktop-database "$tmp/claim/applications"
mime_query "$tmp/claim" | grep -q "claim-$app_id" ||
    fail "control: an entry claiming folders is not seen by gio mime, so the check above proves nothing"
# The context-menu entries do name folders, where only their file managers read them.
for entry in "kio/servicemenus/$app_id.desktop" "Thunar/sendto/$app_id.desktop"; do
    grep -qx 'MimeType=inode/directory;' "/usr/share/$entry" || fail "$entry does not offer itself for folders"
    grep -qx 'Exec=/usr/libexec/tandrel/tandrel-open %f' "/usr/share/$entry" || fail "$entry: unexpected Exec line"
done

dpkg --purge tandrel >"$tmp/purge.log" 2>&1 || fail "dpkg --purge: $(cat "$tmp/purge.log")"
while IFS= read -r path; do
    case "$path" in /. | /usr | /usr/bin | /usr/libexec | /usr/share) continue ;; esac
    if [ -f "$path" ] || [ -L "$path" ]; then fail "left behind after purge: $path"; fi
    # An empty folder may stay when another package owns it (hicolor-icon-theme ships empty size folders).
    if [ -d "$path" ] && [ -z "$(ls -A "$path")" ] && ! dpkg -S "$path" >/dev/null 2>&1; then
        fail "empty folder left behind after purge: $path"
    fi
done <"$tmp/installed"
ls /var/lib/dpkg/info/tandrel.* >/dev/null 2>&1 && fail "dpkg still keeps files of tandrel: $(ls /var/lib/dpkg/info/tandrel.*)"
[ -s "$tmp/installed" ] || fail "dpkg -L listed nothing; the purge check proves nothing"

finish
