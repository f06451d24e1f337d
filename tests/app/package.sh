#!/usr/bin/env bash
# Builds the Debian package with CPack and checks what it holds: the program,
# its desktop entry, AppStream data and icons, all valid, all carrying the one
# set of application information; dependencies read from the linked libraries;
# the copyright file, changelog and manual page Debian wants; and no lintian error or warning.
#   package.sh BUILD_DIR NAME VERSION APP_ID FILE_VERSION DESCRIPTION COMMENT LICENSE
set -euo pipefail
build=$1 name=$2 version=$3 app_id=$4 file_version=$5 description=$6 comment=$7 license=$8

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  [ ! -s "$work/log" ] || cat "$work/log" >&2
  echo "FAIL: $*" >&2
  exit 1
}
# Fails unless FILE has the line (-x) or the text (-F) given.
has() { # -x|-F FILE TEXT
  grep -q "$1" -- "$3" "$2" || fail "$2 lacks $3"
}

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/log" 2>&1 || fail "cpack could not build the package"
rm "$work/log"
debs=("$work"/out/*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}
[ "$(dpkg-deb -f "$deb" Package)" = morvane ] || fail "package name"
package_version=$(dpkg-deb -f "$deb" Version)
[[ $package_version =~ ^$version-[1-9][0-9]*$ ]] || fail "package version $package_version is not $version-REVISION"
dpkg-deb -f "$deb" Depends | tr ',' '\n' | awk '{ print $1 }' >"$work/Depends"
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6; do
  has -x "$work/Depends" "$lib"
done

dpkg-deb -c "$deb" | awk '{ print $NF }' >"$work/contents"
dpkg-deb -x "$deb" "$work/root"
share=usr/share
icons=$share/icons/hicolor
for path in usr/bin/morvane "$share/applications/$app_id.desktop" "$share/metainfo/$app_id.metainfo.xml" \
  "$icons/scalable/apps/$app_id.svg" "$share/man/man1/morvane.1.gz" "$share/doc/morvane/copyright" \
  "$share/doc/morvane/changelog.Debian.gz"; do
  has -x "$work/contents" "./$path"
done
for size in 16 32 48 64 128 256; do
  has -x "$work/contents" "./$icons/${size}x$size/apps/$app_id.png"
  file "$work/root/$icons/${size}x$size/apps/$app_id.png" | grep -q "PNG image data, $size x $size," ||
    fail "the ${size}x$size icon has another size"
done
file "$work/root/usr/bin/morvane" | grep -qE 'ELF.*, stripped$' || fail "the executable is not a stripped ELF file"

desktop=$work/root/$share/applications/$app_id.desktop
metainfo=$work/root/$share/metainfo/$app_id.metainfo.xml
desktop-file-validate "$desktop" >"$work/log" 2>&1 && [ ! -s "$work/log" ] || fail "desktop entry, or its warnings"
appstreamcli validate --no-net "$metainfo" >"$work/log" 2>&1 || fail "AppStream data"
rm "$work/log"

# Compressed as Debian compresses: gzip -9n keeps no name and no time.
for gz in "$share/man/man1/morvane.1.gz" "$share/doc/morvane/changelog.Debian.gz"; do
  file "$work/root/$gz" | grep -E 'max compression' | grep -qvE 'was "|last modified' || fail "$gz is not gzip -9n"
done
cmp <(zcat "$work/root/$share/man/man1/morvane.1.gz") "$(dirname "$0")/../../app/data/morvane.1" || fail "man page differs"
zcat "$work/root/$share/doc/morvane/changelog.Debian.gz" >"$work/changelog"
[ "$(dpkg-parsechangelog -l "$work/changelog" -S Version)" = "$package_version" ] || fail "changelog's top entry"
[ "$(dpkg-parsechangelog -l "$work/changelog" -S Maintainer)" = "$(dpkg-deb -f "$deb" Maintainer)" ] ||
  fail "changelog's maintainer"
copyright=$work/root/$share/doc/morvane/copyright
has -x "$copyright" "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
has -x "$copyright" "Upstream-Name: $name"
has -x "$copyright" "License: GPL-3+"
has -F "$copyright" "/usr/share/common-licenses/GPL-3"
[ "$license" = GPL-3.0-or-later ] || fail "the copyright file says GPL-3+, the build $license"
has -F "$metainfo" "<project_license>$license</project_license>"
lintian --info "$deb" >"$work/log" 2>&1 || [ $? -eq 1 ] || fail "lintian could not run"
! grep -E '^[EW]: ' "$work/log" || fail "lintian errors or warnings"
rm "$work/log"

# One set of application information everywhere.
has -x "$desktop" "Name=$name"
has -x "$desktop" "Comment=$comment"
has -x "$desktop" "Icon=$app_id"
has -F "$metainfo" "<name>$name</name>"
has -F "$metainfo" "<summary>$description</summary>"
has -F "$metainfo" "<release version=\"$version\""
for line in "FILEVERSION ${file_version//./,}" "PRODUCTVERSION ${file_version//./,}" \
  "VALUE \"FileVersion\", \"$file_version\"" "VALUE \"ProductVersion\", \"$file_version\"" \
  "VALUE \"ProductName\", \"$name\"" "VALUE \"FileDescription\", \"$description\"" "VALUE \"Comments\", \"$comment\""; do
  has -F "$build/app/generated/morvane.rc" "$line"
done

echo "package test passed: $(basename "$deb")"
