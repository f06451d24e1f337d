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
  echo "FAIL: $*" >&2
  exit 1
}

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log" >&2
  fail "cpack could not build the package"
}
debs=("$work"/out/*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}

[ "$(dpkg-deb -f "$deb" Package)" = morvane ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
depends_names=$(tr ',' '\n' <<<"$depends" | awk '{ print $1 }')
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6; do
  grep -qxF "$lib" <<<"$depends_names" || fail "Depends lacks $lib: $depends"
done

share=./usr/share
expected=(
  ./usr/bin/morvane
  "$share/applications/$app_id.desktop"
  "$share/metainfo/$app_id.metainfo.xml"
  "$share/icons/hicolor/scalable/apps/$app_id.svg"
  "$share/man/man1/morvane.1"
)
for size in 16 32 48 64 128 256; do
  expected+=("$share/icons/hicolor/${size}x$size/apps/$app_id.png")
done
dpkg-deb -c "$deb" | awk '{ print $NF }' >"$work/contents"
for path in "${expected[@]}"; do
  grep -qxF "$path" "$work/contents" || fail "the package lacks $path"
done

dpkg-deb -x "$deb" "$work/root"
root=$work/root/usr/share
file "$work/root/usr/bin/morvane" | grep -qE 'ELF.*, stripped$' || fail "the executable is not a stripped ELF file"
for size in 16 32 48 64 128 256; do
  file "$root/icons/hicolor/${size}x$size/apps/$app_id.png" | grep -q "PNG image data, $size x $size," ||
    fail "the ${size}x$size icon has another size"
done

desktop=$root/applications/$app_id.desktop
metainfo=$root/metainfo/$app_id.metainfo.xml
desktop-file-validate "$desktop" >"$work/desktop.log" 2>&1 || { cat "$work/desktop.log" >&2; fail "desktop entry"; }
if [ -s "$work/desktop.log" ]; then cat "$work/desktop.log" >&2; fail "desktop entry has warnings"; fi
appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 || { cat "$work/appstream.log" >&2; fail "AppStream data"; }

# One set of application information everywhere.
grep -qxF "Name=$name" "$desktop" || fail "desktop entry Name is not $name"
grep -qxF "Comment=$comment" "$desktop" || fail "desktop entry Comment is not the comment"
grep -qxF "Icon=$app_id" "$desktop" || fail "desktop entry names another icon"
grep -qF "<name>$name</name>" "$metainfo" || fail "AppStream name"
grep -qF "<summary>$description</summary>" "$metainfo" || fail "AppStream summary"
grep -qF "<release version=\"$version\"" "$metainfo" || fail "AppStream release is not $version"
rc=$build/app/generated/morvane.rc
grep -qF "FILEVERSION ${file_version//./,}" "$rc" || fail "Windows file version is not $file_version"
grep -qF "PRODUCTVERSION ${file_version//./,}" "$rc" || fail "Windows product version is not $file_version"
for field in "FileVersion:$file_version" "ProductVersion:$file_version" "ProductName:$name" \
  "FileDescription:$description" "Comments:$comment"; do
  grep -qF "VALUE \"${field%%:*}\", \"${field#*:}\"" "$rc" || fail "Windows version record lacks ${field%%:*}"
done

echo "package test passed: $(basename "$deb")"
