# Shell helpers for running a program on a private X display; meant to be sourced.
#   start_xvfb [WxHxD]       start Xvfb on a free display, export DISPLAY
#   stop_xvfb                stop it again
#   wait_window PID TITLE    print the id of PID's visible window titled TITLE
#   wait_no_window PID TITLE wait until PID shows no window titled TITLE
#   window_geometry ID       print "X Y WIDTH HEIGHT" of a window, on the screen

XVFB_PID=
XVFB_DIR=

start_xvfb() {
  XVFB_DIR=$(mktemp -d)
  # -displayfd picks a free display number and writes it once the server is ready.
  Xvfb -displayfd 3 -screen 0 "${1:-1280x1024x24}" -nolisten tcp -noreset 3>"$XVFB_DIR/display" 2>"$XVFB_DIR/log" &
  XVFB_PID=$!
  local i
  for i in $(seq 200); do
    if [ -s "$XVFB_DIR/display" ] && grep -q . "$XVFB_DIR/display"; then
      DISPLAY=":$(head -n1 "$XVFB_DIR/display")"
      export DISPLAY
      return 0
    fi
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.05
  done
  echo "Xvfb did not start:" >&2
  cat "$XVFB_DIR/log" >&2
  return 1
}

stop_xvfb() {
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=
  fi
  if [ -n "$XVFB_DIR" ]; then
    rm -rf "$XVFB_DIR"
    XVFB_DIR=
  fi
}

wait_window() {
  local pid=$1 title=$2 i id
  for i in $(seq 400); do
    id=$(xdotool search --all --onlyvisible --pid "$pid" --name "^${title}\$" 2>/dev/null | head -n1) || true
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "no window titled '$title' appeared" >&2
  return 1
}

wait_no_window() {
  local pid=$1 title=$2 i
  for i in $(seq 200); do
    if ! xdotool search --all --onlyvisible --pid "$pid" --name "^${title}\$" >/dev/null 2>&1; then
      return 0
    fi
    sleep 0.05
  done
  echo "the window titled '$title' did not close" >&2
  return 1
}

window_geometry() {
  xwininfo -id "$1" | awk '
    /Absolute upper-left X:/ { x = $NF }
    /Absolute upper-left Y:/ { y = $NF }
    /^ *Width:/ { w = $NF }
    /^ *Height:/ { h = $NF }
    END { print x, y, w, h }'
}
