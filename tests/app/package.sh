#!/usr/bin/env bash
# Builds the Debian package with CPack and checks what it holds: the program,
# its desktop entry, AppStream data and icons, all valid, all carrying the one
# set of application information; and dependencies read from the linked libraries.
#   package.sh BUILD_DIR NAME VERSION APP_ID FILE_VERSION DESCRIPTION COMMENT
set -euo pipefail
build=$1 name=$2 version=$3 app_id=$4 file_version=$5 description=$6 comment=$7

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
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
dpkg-deb -f "$deb" Depends | tr ',' '\n' | awk '{ print $1 }' >"$work/Depends"
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6; do
  has -x "$work/Depends" "$lib"
done

dpkg-deb -c "$deb" | awk '{ print $NF }' >"$work/contents"
dpkg-deb -x "$deb" "$work/root"
share=usr/share
icons=$share/icons/hicolor
for path in usr/bin/morvane "$share/applications/$app_id.desktop" "$share/metainfo/$app_id.metainfo.xml" \
  "$icons/scalable/apps/$app_id.svg" "$share/man/man1/morvane.1"; do
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
