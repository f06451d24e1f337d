#!/usr/bin/env bash
# "Convert all images" in the real converter window (offscreen) against
# GraphicsMagick's and ImageMagick's mogrify on the same folders, in one run,
# each with its own default use of the cores; then the cost of the run's one
# flush to disk (durable_point). Our runs end with that flush and the others'
# do not, so each folder is flushed before it is timed.
#   run.sh [corpus]   (default build/bench/corpus, made by bench/codecs/make-corpus.sh)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
corpus=${1:-$root/build/bench/corpus}
ours=$root/build/default/bench/converter/window_convert_all
durable=$root/build/default/bench/converter/durable_point
work=$(mktemp -d /tmp/morvane-window-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen

fresh() { rm -rf "$work/d" && mkdir -p "$work/d" && cp "$corpus/$1/$2"/*."$2" "$work/d"/ && sync; }
seconds() { local t0=$EPOCHREALTIME; "$@" > "$work/log" 2>&1; awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }'; }

printf '| set | conversion | images | gm img/s | IM img/s | ours img/s | ours / gm | ours / IM | longest pause of the window |\n'
printf '|---|---|---|---|---|---|---|---|---|\n'
for set in 512 2048; do
  for conv in jpg:bmp bmp:jpg; do
    from=${conv%:*} to=${conv#*:}
    jpeg=()
    [ "$to" = jpg ] && jpeg=(-quality 92 -sampling-factor 1x1)
    n=$(find "$corpus/$set/$from" -name "*.$from" | wc -l)
    fresh "$set" "$from"; gm_s=$(seconds gm mogrify "${jpeg[@]}" -format "$to" "$work/d"/*."$from")
    fresh "$set" "$from"; im_s=$(seconds mogrify-im6.q16 "${jpeg[@]}" -format "$to" "$work/d"/*."$from")
    fresh "$set" "$from"; "$ours" "$work/d" ".$from" ".$to" > "$work/ours"
    ours_ips=$(sed -E 's/.*: ([0-9.]+) images\/s.*/\1/' "$work/ours")
    pause=$(sed -E 's/.*paused at most ([0-9]+) ms.*/\1 ms/' "$work/ours")
    awk -v set="$set" -v c="${from^^}->${to^^}" -v n="$n" -v g="$gm_s" -v i="$im_s" -v o="$ours_ips" -v p="$pause" \
      'BEGIN { printf "| %s | %s | %d | %.1f | %.1f | %.1f | %.2f | %.2f | %s |\n", set, c, n, n / g, n / i, o, o / (n / g), o / (n / i), p }'
  done
done

printf '\n| set | conversion | images | run with the flush ms | without ms | with / without | flush ms | flush per image ms |\n'
printf '|---|---|---|---|---|---|---|---|\n'
for set in 512 2048; do
  for conv in jpg:bmp bmp:jpg; do
    from=${conv%:*} to=${conv#*:}
    line=$("$durable" "$corpus/$set/$from" ".$to")
    sed -E "s/^([0-9]+) images, [0-9]+ rounds: run ([0-9.]+) ms with the durable point, ([0-9.]+) ms without \(x ([0-9.]+)\); the flush ([0-9.]+) ms \([0-9.]+% of the run, ([0-9.]+) ms an image\).*/| $set | ${from^^}->${to^^} | \1 | \2 | \3 | \4 | \5 | \6 |/" <<< "$line"
  done
done
