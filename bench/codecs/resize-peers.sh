#!/usr/bin/env bash
# Times "morvane convert --resize pot" against GraphicsMagick's and
# ImageMagick's mogrify -resize on the same pictures in one run, single-
# threaded, best of REPEATS (default 3), and reports pictures per second and
# the ratios. The pictures are 100 crops of 700 x 450 from the benchmark
# corpus's 2048 px BMP files (bench/codecs/make-corpus.sh), which the nearest
# power of two takes to 512 x 512; the peers are given that size with the
# same filter (Mitchell). Ours resamples in linear light with alpha-weighted
# colours, the peers on the stored values. FORMATS (default "jpg tga") are
# the copies' formats: JPEG at quality 92 with full chroma; TGA run-length
# encoded by ours and ImageMagick, uncompressed by GraphicsMagick.
#   resize-peers.sh [corpus] [results-file]
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
corpus=${1:-$root/build/bench/corpus}
results=${2:-$root/build/bench/resize.md}
ours=${OURS:-$root/build/default/app/morvane}
repeats=${REPEATS:-3}
formats=${FORMATS:-jpg tga}
im_convert=/usr/bin/convert-im6.q16
im_mogrify=/usr/bin/mogrify-im6.q16
gm=/usr/bin/gm

for tool in "$ours" "$im_convert" "$im_mogrify" "$gm"; do
  [ -x "$tool" ] || { echo "missing $tool (build the default preset; scripts/install-deps.sh bench)" >&2; exit 1; }
done
[ -d "$corpus/2048/bmp" ] || { echo "no corpus in $corpus: run bench/codecs/make-corpus.sh" >&2; exit 1; }

work=$(mktemp -d /tmp/morvane-resize.XXXXXX)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen OMP_NUM_THREADS=1 MAGICK_THREAD_LIMIT=1
mkdir "$work/src"
n=0
for picture in "$corpus"/2048/bmp/*.bmp; do
  for offset in 0+0 700+450 1300+900 0+1500 1340+1590; do
    "$im_convert" "$picture" -crop "700x450+${offset%+*}+${offset#*+}" +repage "$work/src/t$((n++)).bmp"
  done
done

# run TOOL TO: the seconds TOOL takes to write DIR's pictures resized as .TO copies.
run() {
  local tool=$1 to=$2 options=()
  case $to in
    jpg) options=(-quality 92 -sampling-factor 1x1) ;;
    tga) [ "$tool" = im ] && options=(-compress RLE) ;;
  esac
  rm -rf "$work/run" && cp -r "$work/src" "$work/run" && sync
  local start=$(date +%s.%N)
  case $tool in
    ours) "$ours" convert --threads 1 --quiet --resize pot --to ".$to" "$work/run" >/dev/null ;;
    gm) "$gm" mogrify -limit threads 1 -filter Mitchell -resize '512x512!' "${options[@]}" -format "$to" "$work"/run/*.bmp ;;
    im) "$im_mogrify" -limit thread 1 -filter Mitchell -resize '512x512!' "${options[@]}" -format "$to" "$work"/run/*.bmp ;;
  esac
  local end=$(date +%s.%N)
  [ "$("$im_convert" "$work/run/t7.$to" -format '%wx%h' info:)" = 512x512 ] || { echo "$tool wrote another size" >&2; exit 1; }
  echo "$end - $start" | bc
}

{
  echo "# --resize pot (700 x 450 to 512 x 512), 100 pictures, single-threaded, best of $repeats"
  echo
  echo "| copies | ours (pictures/s) | gm | ImageMagick | ours / gm | ours / ImageMagick |"
  echo "|---|---|---|---|---|---|"
  for to in $formats; do
    declare -A best=()
    for ((r = 0; r < repeats; r++)); do
      for tool in ours gm im; do
        t=$(run "$tool" "$to")
        if [ -z "${best[$tool]:-}" ] || [ "$(echo "$t < ${best[$tool]}" | bc)" = 1 ]; then best[$tool]=$t; fi
      done
    done
    rate() { echo "scale=1; 100 / ${best[$1]}" | bc; }
    printf '| BMP to %s | %s | %s | %s | %.2fx | %.2fx |\n' "$to" "$(rate ours)" "$(rate gm)" "$(rate im)" \
      "$(echo "${best[gm]} / ${best[ours]}" | bc -l)" "$(echo "${best[im]} / ${best[ours]}" | bc -l)"
    unset best
  done
} | tee "$results"
