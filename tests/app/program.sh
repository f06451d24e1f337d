#!/usr/bin/env bash
# Runs the built program on a private X display (the xcb platform, no window
# manager) and drives it from outside, as a user would: keys through xdotool,
# the frame's close button through xclose.
#   program.sh MORVANE XCLOSE
set -euo pipefail
program=$(realpath "$1")
xclose=$(realpath "$2")
. "$(dirname "$0")/xvfb.sh"

use_scratch
fail() {
  echo "FAIL: $*" >&2
  [ ! -s "$work/stderr" ] || { echo "the program said:" && cat "$work/stderr"; } >&2
  exit 1
}

# Starts the program and sets main to its main window.
start_program() {
  (cd "$work" && exec env QT_QPA_PLATFORM=xcb "$program" 2>>"$work/stderr") &
  pid=$!
  main=$(wait_window "$pid" Morvane) || fail "no main window titled Morvane"
}

# Types keys into the main window.
keys() {
  xdotool windowfocus --sync "$main"
  xdotool key --delay 50 "$@"
}

gone() { ! kill -0 "$pid" 2>/dev/null; }

# Fails unless the program ends, within 10 s, with status 0.
expect_exit() {
  retry 200 gone || fail "the program is still running after $1"
  local status=0
  wait "$pid" || status=$?
  pid=
  [ "$status" -eq 0 ] || fail "$1 ended the program with status $status"
}

# The window's size, and its place: centred on the 1280 x 1024 screen; sets X Y WIDTH HEIGHT.
expect_geometry() { # NAME ID WIDTH [HEIGHT]
  eval "$(xdotool getwindowgeometry --shell "$2")"
  [ "$WIDTH" -eq "$3" ] && [ "$HEIGHT" -eq "${4:-$HEIGHT}" ] || fail "$1 is ${WIDTH}x$HEIGHT, not $3x${4:-$HEIGHT}"
  local dx=$((X * 2 - (1280 - WIDTH))) dy=$((Y * 2 - (1024 - HEIGHT)))
  [ "${dx#-}" -le 1 ] && [ "${dy#-}" -le 1 ] || fail "$1 at $X,$Y is not centred (${WIDTH}x$HEIGHT)"
}

start_xvfb 1280x1024x24
start_program

# The main window: its width and place, icon and class, its client area under the menu bar.
expect_geometry "the main window" "$main" 537
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
[ $((HEIGHT - client_top)) -eq 402 ] || fail "client area is $((HEIGHT - client_top)) pixels high, not 402"

# About, from the keyboard: Alt, then right twice along the menu bar.
keys alt Right Right Return
about=$(wait_window "$pid" About) || fail "About did not open"
expect_geometry About "$about" 332 220
xprop -id "$about" _NET_WM_STATE | grep -q _NET_WM_STATE_MODAL || fail "About is not modal"
# A click on the main window's File menu must not reach it: were it to open the
# menu, Esc would close that menu and About would stay open.
xdotool mousemove --window "$main" 12 8 click 1
xdotool key Escape
wait_no_window "$pid" About || fail "Esc did not close About"
[ "$(xdotool search --all --onlyvisible --pid "$pid" --name '' | wc -l)" -eq 1 ] ||
  fail "a click on the main window got through while About was open"
# File > Exit ends the program; F10 opens the File menu.
keys F10 Down Return
expect_exit "File > Exit"

# Closing the main window through its frame ends the program too.
start_program
"$xclose" "$main" || fail "could not ask the main window to close"
expect_exit "closing the main window"

# The converter, opened from Tools > Image Convert, keeps the program running
# after the main window is closed; closing it too ends the program.
start_program
keys alt Right Return Return
converter=$(wait_window "$pid" "Morvane - Image Convert") || fail "the converter did not open"
expect_geometry "the converter" "$converter" 443 449
"$xclose" "$main" || fail "could not ask the main window to close"
wait_no_window "$pid" Morvane || fail "the main window did not close"
sleep 0.5
kill -0 "$pid" 2>/dev/null || fail "closing the main window ended the program while the converter was open"
"$xclose" "$converter" || fail "could not ask the converter to close"
expect_exit "closing the last window"

# File > Exit closes the converter with the main window.
start_program
keys alt Right Return Return
wait_window "$pid" "Morvane - Image Convert" >/dev/null || fail "the converter did not open"
keys alt Down Return
expect_exit "File > Exit with the converter open"

echo "program test passed"
