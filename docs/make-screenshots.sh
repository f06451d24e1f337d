#!/usr/bin/env bash
# Takes the screenshots under docs/screenshots/ from the built program on a
# private Xvfb display, at the normal scale and at QT_SCALE_FACTOR=2.
#   docs/make-screenshots.sh [MORVANE]   (default: build/default/app/morvane)
set -euo pipefail
cd "$(dirname "$0")/.."
program=$(realpath "${1:-build/default/app/morvane}")
out=docs/screenshots
. tests/app/xvfb.sh

# A fixed, short folder name, as it shows in the directory list.
demo=${TMPDIR:-/tmp}/morvane-demo
mkdir "$demo" || { echo "$demo is in the way" >&2; exit 1; }
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
  stop_xvfb
  rm -rf "$demo"
}
trap cleanup EXIT
# A folder of textures to list; the files only need their names.
mkdir -p "$demo/textures/walls"
for name in brick_red brick_old cobble_wet plaster_cracked stone_mossy; do
  : >"$demo/textures/walls/$name.jpg"
done
mkdir -p "$out"
start_xvfb 1280x1024x24

shoot() { # SCALE SUFFIX
  (cd "$demo/textures/walls" && exec env QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR="$1" "$program" 2>/dev/null) &
  pid=$!
  local main about
  main=$(wait_window "$pid" Morvane)
  xdotool windowfocus --sync "$main"
  # Apply, then the engine folder, then Go!: all from the keyboard.
  xdotool key Return
  xdotool key --delay 20 Tab Tab Tab Tab Tab Tab Tab Tab ctrl+a
  xdotool type --delay 20 walls
  xdotool key --delay 20 shift+Tab shift+Tab shift+Tab space
  sleep 0.5
  import -window "$main" "$out/main-window$2.png"
  xdotool key alt Right Right Return
  about=$(wait_window "$pid" About)
  sleep 4 # let the credits scroll into view
  import -window "$about" "$out/about$2.png"
  xdotool key Escape
  wait_no_window "$pid" About
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  pid=
}
# The converter opens in the program's own folder: run a copy of the program
# from a folder of real images, then convert them all to .bmp by keyboard.
shoot_converter() {
  local images=$demo/images main converter
  mkdir -p "$images"
  for name in brick_red cobble_wet moss_stone plank_oak rust_plate; do
    convert-im6.q16 -size 96x96 "plasma:" "$images/$name.jpg"
  done
  convert-im6.q16 -size 96x96 "gradient:navy-gold" "$images/sky_dusk.gif"
  cp "$program" "$images/morvane"
  (cd "$demo" && exec env QT_QPA_PLATFORM=xcb "$images/morvane" 2>/dev/null) &
  pid=$!
  main=$(wait_window "$pid" Morvane)
  xdotool windowfocus --sync "$main"
  xdotool key --delay 50 alt Right Return Return
  converter=$(wait_window "$pid" "Morvane - Image Convert")
  xdotool windowfocus --sync "$converter"
  # Focus order: File1, Go!, Dir1, Drive1, File2, source filter, destination format.
  xdotool key --delay 50 Tab Tab Tab Tab Tab Down Down Down Down Tab Down Tab space
  xdotool key --delay 50 shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab space
  sleep 1
  import -window "$converter" "$out/converter.png"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  pid=
}
shoot 1 ""
shoot 2 "-scale2"
shoot_converter
ls -l "$out"
