# Shell helpers for running a program on a private X display; meant to be sourced.
#   start_xvfb [WxHxD]       start Xvfb on a free display, export DISPLAY
#   stop_xvfb                stop it again
#   wait_window PID TITLE    print the id of PID's visible window titled TITLE
#   wait_no_window PID TITLE wait until PID shows no window titled TITLE
#   retry TRIES COMMAND...   run the command until it succeeds, at most TRIES times 50 ms apart
#   use_scratch              a temporary folder in $work; on exit the program in $pid
#                            (if any) is ended, the display stopped and the folder removed

XVFB_PID=
XVFB_DIR=

retry() {
  local i
  for i in $(seq "$1"); do
    "${@:2}" && return 0
    sleep 0.05
  done
  return 1
}

use_scratch() {
  work=$(mktemp -d)
  pid=
  trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null || true; stop_xvfb; rm -rf "$work"' EXIT
}

start_xvfb() {
  XVFB_DIR=$(mktemp -d)
  # -displayfd picks a free display number and writes it once the server is ready.
  Xvfb -displayfd 3 -screen 0 "${1:-1280x1024x24}" -nolisten tcp -noreset 3>"$XVFB_DIR/display" 2>"$XVFB_DIR/log" &
  XVFB_PID=$!
  if ! retry 200 grep -q . "$XVFB_DIR/display"; then
    echo "Xvfb did not start:" >&2
    cat "$XVFB_DIR/log" >&2
    return 1
  fi
  DISPLAY=":$(head -n1 "$XVFB_DIR/display")"
  export DISPLAY
}

stop_xvfb() {
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
  [ -z "$XVFB_DIR" ] || rm -rf "$XVFB_DIR"
  XVFB_PID= XVFB_DIR=
}

# The first visible window of PID titled TITLE; fails when there is none.
find_window() { xdotool search --all --onlyvisible --pid "$1" --name "^$2\$" 2>/dev/null | head -n1 | grep .; }
no_window() { ! find_window "$@" >/dev/null; }

wait_window() {
  retry 400 find_window "$1" "$2" || { echo "no window titled '$2' appeared" >&2; return 1; }
}

wait_no_window() {
  retry 200 no_window "$1" "$2" || { echo "the window titled '$2' did not close" >&2; return 1; }
}
