#!/usr/bin/env bash
# Builds the Debian package into a temporary folder and checks it as an administrator meets it,
# without installing it on this machine: its files and fields, lintian, the desktop entry, the
# AppStream metadata, the manual pages, and the programs run from a temporary root (dpkg -x).
#   usage: check-package.sh CPACK_CONFIG VERSION APPSTREAM_ID PROGRAM...
set -uo pipefail

config=$1
version=$2
appstream_id=$3
shift 3
programs=("$@")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

if ! cpack --config "$config" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack could not build the package"
    exit 1
fi
shopt -s nullglob
debs=("$work"/out/olmconfig_"$version"_*.deb)
if [ ${#debs[@]} -ne 1 ]; then
    ls "$work/out"
    echo "FAIL: expected one package olmconfig_${version}_*.deb"
    exit 1
fi
deb=${debs[0]}
echo "package: ${deb##*/}"

# Its files: the programs with their manual pages, the menu entry, every icon, the metadata.
dpkg-deb --contents "$deb" | awk '{ print $6 }' | sed 's|^\./||' >"$work/contents"
expected=(
    usr/share/applications/olmconfig.desktop
    "usr/share/metainfo/$appstream_id.metainfo.xml"
    usr/share/icons/hicolor/scalable/apps/olmconfig.svg
    usr/share/doc/olmconfig/copyright
    usr/share/doc/olmconfig/changelog.gz
)
for side in 16 22 24 32 48 64 128 256; do
    expected+=("usr/share/icons/hicolor/${side}x${side}/apps/olmconfig.png")
done
for program in "${programs[@]}"; do
    expected+=("usr/bin/$program" "usr/share/man/man1/$program.1.gz")
done
for path in "${expected[@]}"; do
    grep -qxF "$path" "$work/contents" || fail "the package lacks $path"
done
if grep -v '^usr/' "$work/contents" | grep -q .; then
    fail "files outside usr/: $(grep -v '^usr/' "$work/contents" | tr '\n' ' ')"
fi

# Its fields: the project's version, and the libraries found by dpkg-shlibdeps.
[ "$(dpkg-deb --field "$deb" Version)" = "$version" ] || fail "Version is not $version"
depends=$(dpkg-deb --field "$deb" Depends)
tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//' >"$work/depends"
for library in libc6 libstdc++6 libqt6core6 libqt6network6 libqt6widgets6 qt6-qpa-plugins; do
    grep -qxF "$library" "$work/depends" || fail "Depends lacks $library: $depends"
done
for field in Maintainer Section Description; do
    [ -n "$(dpkg-deb --field "$deb" "$field")" ] || fail "no $field"
done

# lintian: no error and no warning.
if ! lintian --fail-on error,warning "$deb" >"$work/lintian" 2>&1; then
    cat "$work/lintian"
    fail "lintian reports errors or warnings"
fi

root=$work/root
dpkg -x "$deb" "$root"

desktop=$root/usr/share/applications/olmconfig.desktop
desktop-file-validate "$desktop" >"$work/desktop" 2>&1 || { cat "$work/desktop"; fail "desktop-file-validate"; }
# The entry and its action start programs of the package and show its icon.
while IFS= read -r command; do
    [ -x "$root/usr/bin/$command" ] || fail "the desktop entry starts $command, which is not in the package"
done < <(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$root/usr/share/icons/hicolor/48x48/apps/$icon.png" ] || fail "the desktop entry's icon $icon is not in the package"

metainfo=$root/usr/share/metainfo/$appstream_id.metainfo.xml
appstreamcli validate --no-net "$metainfo" >"$work/appstream" 2>&1 || { cat "$work/appstream"; fail "appstreamcli validate"; }
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metadata does not name release $version"
# The metadata as a software centre reads it, with the desktop entry and icons it points to.
appstreamcli validate-tree --no-net "$root" >"$work/tree" 2>&1 || { cat "$work/tree"; fail "appstreamcli validate-tree"; }

# The installed programs, run from the temporary root: --version prints the project's version,
# --help works, and every option that --help shows is in the program's manual page.
export QT_QPA_PLATFORM=offscreen
for program in "${programs[@]}"; do
    binary=$root/usr/bin/$program
    shown=$("$binary" --version 2>/dev/null)
    [ "$shown" = "$program $version" ] || fail "$program --version printed '$shown', not '$program $version'"
    if ! "$binary" --help >"$work/help" 2>/dev/null; then
        fail "$program --help failed"
        continue
    fi
    grep -q "$program" "$work/help" || fail "$program --help does not name the program"
    LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$root/usr/share/man/man1/$program.1.gz" 2>"$work/man.err" |
        sed 's/\xe2\x80\x90/-/g; s/\xe2\x88\x92/-/g' >"$work/man"
    [ -s "$work/man.err" ] && { cat "$work/man.err"; fail "the manual page of $program has errors"; }
    while IFS= read -r option; do
        grep -qF -- "$option" "$work/man" || fail "the manual page of $program does not describe $option"
    done < <(grep -oE -- '--[a-z][a-z0-9-]*' "$work/help" | sort -u)
done
if [ "$failures" -ne 0 ]; then
    echo "$failures failed"
    exit 1
fi
echo "the package of ${programs[*]} passes"
