#!/usr/bin/env bash
# Runs the built program on a private X display (the xcb platform, no window
# manager) and drives it from outside, as a user would: keys through xdotool,
# the frame's close button through xclose.
#   program.sh MORVANE XCLOSE
set -euo pipefail
program=$(realpath "$1")
xclose=$(realpath "$2")
. "$(dirname "$0")/xvfb.sh"

screen_w=1280
screen_h=1024
work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
  stop_xvfb
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  if [ -s "$work/stderr" ]; then
    echo "the program said:" >&2
    cat "$work/stderr" >&2
  fi
  exit 1
}

start_program() {
  (cd "$work" && exec env QT_QPA_PLATFORM=xcb "$program" 2>>"$work/stderr") &
  pid=$!
}

# Sets status to the program's exit status once it has ended; fails after 10 s.
wait_for_exit() {
  local i
  for i in $(seq 200); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  kill -0 "$pid" 2>/dev/null && fail "the program is still running"
  status=0
  wait "$pid" || status=$?
  pid=
}

expect_centred() { # NAME X Y W H
  local dx=$(($2 * 2 - (screen_w - $4))) dy=$(($3 * 2 - (screen_h - $5)))
  [ "${dx#-}" -le 1 ] && [ "${dy#-}" -le 1 ] || fail "$1 at $2,$3 is not centred (${4}x$5 on ${screen_w}x$screen_h)"
}

visible_windows() {
  xdotool search --all --onlyvisible --pid "$pid" --name '' 2>/dev/null | wc -l
}

start_xvfb "${screen_w}x${screen_h}x24"
start_program

# The main window: its title, its client area under the menu bar, its place.
main=$(wait_window "$pid" Morvane) || fail "no main window titled Morvane"
read -r x y w h < <(window_geometry "$main")
[ "$w" -eq 537 ] || fail "main window is $w pixels wide, not 537"
expect_centred "main window" "$x" "$y" "$w" "$h"
xprop -id "$main" _NET_WM_ICON | grep -q 'Icon (16 x 16)' || fail "main window has no 16 x 16 icon"
# The window class is the application name, which the desktop entry's StartupWMClass names.
xprop -id "$main" WM_CLASS | grep -qF '"morvane", "MVT"' || fail "main window's class is not MVT"
# The status label's frame is the full-width row pair that is neither the
# background (the bottom row) nor broken by any control; its top edge lies 384
# pixels below the top of the client area, its bottom edge 16 below that.
read -r top bottom < <(import -window "$main" txt:- | awk '
  NR > 1 { split($1, p, /[,:]/); y = p[2]; c = $3
           if (!(y in colour)) { colour[y] = c; uniform[y] = 1 } else if (c != colour[y]) uniform[y] = 0
           if (y + 1 > rows) rows = y + 1 }
  END { background = colour[rows - 1]
        for (y = rows - 1; y >= 0 && n < 2; y--)
          if (uniform[y] && colour[y] != background) found[++n] = y
        print found[2], found[1] }')
[ -n "$top" ] && [ $((bottom - top)) -eq 16 ] || fail "status label frame not found (rows '$top' '$bottom')"
client_top=$((top - 384))
[ "$client_top" -gt 0 ] || fail "no menu bar above the client area"
[ $((h - client_top)) -eq 402 ] || fail "client area is $((h - client_top)) pixels high, not 402"

# About, from the keyboard: Alt, then right twice along the menu bar.
xdotool windowfocus --sync "$main"
xdotool key alt Right Right Return
about=$(wait_window "$pid" About) || fail "About did not open"
read -r x y w h < <(window_geometry "$about")
[ "$w" -eq 332 ] && [ "$h" -eq 220 ] || fail "About is ${w}x$h, not 332x220"
expect_centred "About" "$x" "$y" "$w" "$h"
xprop -id "$about" _NET_WM_STATE | grep -q _NET_WM_STATE_MODAL || fail "About is not modal"
# A click on the main window's File menu must not reach it: were it to open the
# menu, Esc would close that menu and About would stay open.
xdotool mousemove --window "$main" 12 8 click 1
xdotool key Escape
wait_no_window "$pid" About || fail "Esc did not close About"
[ "$(visible_windows)" -eq 1 ] || fail "a click on the main window got through while About was open"

# File > Exit ends the program with status 0; F10 opens the File menu.
xdotool windowfocus --sync "$main"
xdotool key F10 Down Return
wait_for_exit
[ "$status" -eq 0 ] || fail "File > Exit ended with status $status"

# Closing the main window through its frame ends the program too.
start_program
main=$(wait_window "$pid" Morvane) || fail "no main window after restart"
"$xclose" "$main" || fail "could not ask the main window to close"
wait_for_exit
[ "$status" -eq 0 ] || fail "closing the main window ended with status $status"

# The converter, opened from Tools > Image Convert, keeps the program running
# after the main window is closed; closing it too ends the program.
start_program
main=$(wait_window "$pid" Morvane) || fail "no main window for the converter"
xdotool windowfocus --sync "$main"
xdotool key --delay 50 alt Right Return Return
converter=$(wait_window "$pid" "Morvane - Image Convert") || fail "the converter did not open"
read -r x y w h < <(window_geometry "$converter")
[ "$w" -eq 443 ] && [ "$h" -eq 449 ] || fail "the converter is ${w}x$h, not 443x449"
expect_centred "converter" "$x" "$y" "$w" "$h"
"$xclose" "$main" || fail "could not ask the main window to close"
wait_no_window "$pid" Morvane || fail "the main window did not close"
sleep 0.5
kill -0 "$pid" 2>/dev/null || fail "closing the main window ended the program while the converter was open"
"$xclose" "$converter" || fail "could not ask the converter to close"
wait_for_exit
[ "$status" -eq 0 ] || fail "closing the last window ended with status $status"

# File > Exit closes the converter with the main window.
start_program
main=$(wait_window "$pid" Morvane) || fail "no main window for File > Exit"
xdotool windowfocus --sync "$main"
xdotool key --delay 50 alt Right Return Return
wait_window "$pid" "Morvane - Image Convert" > /dev/null || fail "the converter did not open"
xdotool windowfocus --sync "$main"
xdotool key alt Down Return
wait_for_exit
[ "$status" -eq 0 ] || fail "File > Exit with the converter open ended with status $status"

echo "program test passed"
