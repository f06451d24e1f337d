#!/usr/bin/env bash
# Start-up time of Morvane beside a minimal Qt Widgets program (a window with a
# label, a line edit and a button), on a private
# Xvfb display: from just before exec to the first window being mapped, both
# programs measured alternately in one run. Prints both medians and the ratio.
#   run.sh MORVANE MINIMAL PROBE [ROUNDS]
set -euo pipefail
morvane=$(realpath "$1")
minimal=$(realpath "$2")
probe=$(realpath "$3")
rounds=${4:-30}
. "$(dirname "$0")/../../tests/app/xvfb.sh"

work=$(mktemp -d)
trap 'stop_xvfb; rm -rf "$work"' EXIT
start_xvfb 1280x1024x24
export QT_QPA_PLATFORM=xcb
# Morvane lists the folder it starts in: give it a small texture folder.
mkdir -p "$work/textures/sub"
for name in brick stone grass metal wood; do : >"$work/textures/$name.jpg"; done
cd "$work/textures"

measure() { "$probe" "$1" 2>>"$work/stderr" || { cat "$work/stderr" >&2; exit 1; }; }
for _ in 1 2 3; do # warm the caches
  measure "$morvane" >/dev/null
  measure "$minimal" >/dev/null
done
for ((i = 0; i < rounds; i++)); do
  if ((i % 2)); then
    measure "$morvane" >>"$work/morvane"
    measure "$minimal" >>"$work/minimal"
  else
    measure "$minimal" >>"$work/minimal"
    measure "$morvane" >>"$work/morvane"
  fi
done

median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
m_morvane=$(median "$work/morvane")
m_minimal=$(median "$work/minimal")
awk -v a="$m_morvane" -v b="$m_minimal" -v n="$rounds" 'BEGIN {
  ratio = a / b
  printf "start-up to first window shown, median of %d runs each\n", n
  printf "  morvane          %8.1f ms\n", a / 1000
  printf "  minimal Qt app   %8.1f ms\n", b / 1000
  printf "  ratio            %8.2f (target at most 1.10: %s)\n", ratio, ratio <= 1.1 ? "met" : "MISSED"
}'
