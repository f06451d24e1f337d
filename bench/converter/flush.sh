#!/usr/bin/env bash
# What making the copies durable costs when the volume holds other people's
# unwritten data: 200 pictures of 512 x 512, BMP to JPG, one thread, by
# morvane convert and by GraphicsMagick's mogrify in the same run, each on a
# fresh copy of the folder, once with the volume clean and once right after
# 300 MB of unrelated data were written to it (a texture pack just copied in)
# and not yet flushed. Best of ROUNDS. More than one morvane may be given
# (an older build beside the new one) to compare them in the same run.
# FROM (default bmp) picks the 512 set's sources: bmp or png.
#   flush.sh [corpus] [morvane...]
#   (defaults build/bench/corpus and build/default/app/morvane)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
corpus=${1:-$root/build/bench/corpus}
shift || true
programs=("$@")
[ "${#programs[@]}" -gt 0 ] || programs=("$root/build/default/app/morvane")
rounds=${ROUNDS:-3}
from=${FROM:-bmp}
# On the volume of the build tree, where the copies of a real user would go.
work=$(mktemp -d "$root/build/flush-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c 300M /dev/urandom > /dev/shm/morvane-unrelated.$$
trap 'rm -rf "$work" /dev/shm/morvane-unrelated.$$' EXIT

prepare() { # prepare clean|dirty: a fresh folder, the volume flushed, then the unrelated data if asked
  rm -rf "$work/d" "$work/unrelated" && mkdir "$work/d" && cp "$corpus/512/$from"/*."$from" "$work/d"/ && sync
  [ "$1" = dirty ] && cp /dev/shm/morvane-unrelated.$$ "$work/unrelated"
  return 0
}
seconds() { local t0=$EPOCHREALTIME; "$@" > /dev/null 2>&1; awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }'; }
best() { sort -n | head -1; }

echo "${from^^} -> JPG"
printf '| volume | program | seconds (best of %d) | gm mogrify seconds | program / gm (speed) |\n|---|---|---|---|---|\n' "$rounds"
for state in clean dirty; do
  declare -A times=()
  for ((r = 0; r < rounds; r++)); do
    prepare "$state"; times[gm]+="$(seconds gm mogrify -quality 92 -sampling-factor 1x1 -format jpg "$work"/d/*."$from") "
    for p in "${programs[@]}"; do
      prepare "$state"; times[$p]+="$(seconds "$p" convert --threads 1 --to .jpg "$work/d") "
    done
  done
  gm_s=$(tr ' ' '\n' <<< "${times[gm]}" | grep . | best)
  for p in "${programs[@]}"; do
    s=$(tr ' ' '\n' <<< "${times[$p]}" | grep . | best)
    awk -v v="$state" -v p="$p" -v s="$s" -v g="$gm_s" 'BEGIN { printf "| %s | %s | %.3f | %.3f | %.2f |\n", v, p, s, g, g / s }'
  done
  unset times
done
rm -f "$work/unrelated"; sync
