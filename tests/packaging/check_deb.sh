#!/bin/sh
# Builds the Debian package with cpack into a temporary folder and checks its control data (name,
# version, section, maintainer, library dependencies found by dpkg-shlibdeps) and contents, then
# unpacks it with dpkg -x (not installed on this machine) and checks that the desktop entry names the
# wrapper at its final place under /usr, not cpack's staging folder.
# Usage: check_deb.sh BUILD_DIR SOURCE_DIR VERSION
set -eu
build=$1
source=$2
version=$3
. "$(dirname "$0")/lib.sh"

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1; then
    cat "$tmp/cpack.log" >&2
    echo "FAIL: cpack -G DEB" >&2
    exit 1
fi
set -- "$tmp"/out/*.deb
[ "$#" -eq 1 ] && [ -f "$1" ] || { echo "FAIL: expected one .deb, found: $*" >&2; exit 1; }
deb=$1

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tandrel ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', the project is $version"
[ "$(field Section)" = utils ] || fail "Section is '$(field Section)'"
case "$(field Maintainer)" in
    *?"<"*@*">") ;;
    *) fail "Maintainer is not 'Name <address>': '$(field Maintainer)'" ;;
esac
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
for lib in libc6 libqt6core6 libqt6widgets6; do
    case ", $depends" in *", $lib "*|*", $lib,"*) ;; *) fail "Depends lacks $lib: $depends" ;; esac
done

# Exactly the expected files: nothing missing, and no build or test file carried in by mistake.
{
    printf '%s\n' ./usr/bin/tandrel ./usr/libexec/tandrel/tandrel-open \
        "./usr/share/applications/$app_id.desktop" "./usr/share/metainfo/$app_id.metainfo.xml" \
        "./usr/share/icons/hicolor/scalable/apps/$app_id.svg" ./usr/share/man/man1/tandrel.1
    [ ! -f "$source/docs/TD.html" ] || echo ./usr/share/doc/tandrel/TD.html
} | sort >"$tmp/expected"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sort >"$tmp/contents"
comm -23 "$tmp/expected" "$tmp/contents" | while IFS= read -r f; do echo "FAIL: package lacks $f" >&2; done
comm -13 "$tmp/expected" "$tmp/contents" | while IFS= read -r f; do echo "FAIL: package holds unexpected $f" >&2; done
cmp -s "$tmp/expected" "$tmp/contents" || fail "package contents differ from the expected files"

root="$tmp/root"
dpkg -x "$deb" "$root"
desktop="$root/usr/share/applications/$app_id.desktop"
exec_line=$(desktop_value "$desktop" Exec)
[ "$exec_line" = "/usr/libexec/tandrel/tandrel-open %f" ] || fail "Exec line of the packaged entry: '$exec_line'"
out=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$out" ] || fail "desktop-file-validate: $out"
[ -x "$root/usr/libexec/tandrel/tandrel-open" ] || fail "packaged wrapper is not executable"

# The unpacked wrapper starts the program of its own tree, wherever that tree lies.
printf '#!/bin/sh\nprintf "%%s\\n" "$@"\n' >"$root/usr/bin/tandrel"
got=$("$root/usr/libexec/tandrel/tandrel-open" "/srv/My Data")
[ "$got" = "/srcdir:/srv/My Data" ] || fail "unpacked wrapper passed '$got'"

finish
