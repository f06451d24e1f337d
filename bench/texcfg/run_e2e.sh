#!/usr/bin/env bash
# Opens a folder of 100,000 files in the real main window (offscreen), presses
# "Apply" and "Go!", and times it side by side with an ls | awk one-liner that
# prints the same cfg lines for the same folder.
# Usage: run_e2e.sh BUILD_DIR [FILES]
set -euo pipefail
build=${1:?build dir}
count=${2:-100000}
e2e="$build/bench/texcfg/mainwindow_e2e"
dir="$build/bench-data/textures-$count"
if [ ! -f "$dir/.complete" ]; then
  rm -rf "$dir" && mkdir -p "$dir"
  (cd "$dir" && seq 0 $((count - 1)) | sed 's/^/texture_/; s/$/.jpg/' | xargs touch)
  touch "$dir/.complete"
fi
export QT_QPA_PLATFORM=offscreen

echo "== morvane: open + Apply + Go! in the window, $count files (5 runs)"
for _ in 1 2 3 4 5; do "$e2e" "$dir"; done
/usr/bin/time -f "peak RSS %M KB" "$e2e" "$dir" 2>&1 | tail -1

echo "== ls | awk printing the same cfg lines (5 runs)"
for _ in 1 2 3 4 5; do
  start=$(date +%s%N)
  ls "$dir" | awk 'BEGIN { printf "// My Quillo Textures\r\n" } { printf "texture 0 \"default/%s\"\r\n", $0 }' > /dev/null
  echo "total $(( ($(date +%s%N) - start) / 1000000 )) ms"
done
