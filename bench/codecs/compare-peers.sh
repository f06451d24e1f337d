#!/usr/bin/env bash
# Times Morvane's folder conversion against ImageMagick's mogrify and
# GraphicsMagick's gm mogrify on the same corpus in one run, and reports
# images per second, the ratios to the peers, peak memory, and for GIF,
# JPEG and DDS output the PSNR against the source (of the top level, for DDS).
#   compare-peers.sh [corpus] [results-file]
# corpus defaults to build/bench/corpus (made by make-corpus.sh); the
# program to time is "morvane convert" of build/default/app/morvane, or of
# $OURS. REPEATS (default 3) rounds in which the tools take turns; each
# one's fastest counts, the spread is its slowest round against that, and
# the peak memory is the largest of them. SETS (default "512 2048 game",
# game being make-game-corpus.sh's textures), CONVERSIONS (default all,
# e.g. CONVERSIONS="jpg:tga jpg:gif") and TOOLS (default
# "gm im ours-1 ours-all", plus before-1 when BEFORE names another build)
# choose a part; the metafile rows and the memory
# table come only with the whole run. Single-threaded throughout (ours with
# --threads 1 and OMP_NUM_THREADS=1 for libimagequant, ImageMagick with -limit thread 1 and MAGICK_THREAD_LIMIT=1,
# GraphicsMagick with -limit threads 1 and OMP_NUM_THREADS=1), plus ours
# with one thread per core. Peers write JPEG at quality 92 with full
# chroma (-sampling-factor 1x1), TGA run-length encoded where they can
# (GraphicsMagick cannot), and DDS (ImageMagick alone writes it) as DXT1
# with the whole chain of mipmaps. Needs: scripts/install-deps.sh bench
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
corpus=${1:-$root/build/bench/corpus}
results=${2:-$root/build/bench/results.md}
ours=${OURS:-$root/build/default/app/morvane}
# Another build to time beside it (tool before-1, one thread), e.g. main's.
before=${BEFORE:-}
repeats=${REPEATS:-3}
sets=${SETS:-512 2048 game}
conversions=${CONVERSIONS:-jpg:bmp bmp:jpg png:jpg jpg:gif bmp:gif jpg:tga jpg:dds}
tools=${TOOLS:-gm im ours-1 ours-all}
# The metafile rows and the memory table come with the full run only.
extras=false
[ -z "${CONVERSIONS:-}${SETS:-}${TOOLS:-}" ] && extras=true
im_mogrify=/usr/bin/mogrify-im6.q16
im_compare=/usr/bin/compare-im6.q16
gm=/usr/bin/gm
cores=$(nproc)

for tool in "$ours" "$im_mogrify" "$im_compare" "$gm" /usr/bin/time; do
  [ -x "$tool" ] || { echo "missing $tool (build the default preset; scripts/install-deps.sh bench)" >&2; exit 1; }
done
for set in $sets; do
  [ -d "$corpus/$set" ] || { echo "no $set corpus in $corpus: run bench/codecs/make-corpus.sh (game: make-game-corpus.sh)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/morvane-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$(dirname "$results")"
export QT_QPA_PLATFORM=offscreen

declare -A rate

# timed TOOL FROM TO DIR: converts DIR/*.FROM into .TO with TOOL under
# /usr/bin/time, its report in $work/time.
timed() {
  local tool=$1 from=$2 to=$3 dir=$4
  local options=() timer=(/usr/bin/time -v -o "$work/time")
  case $to in
    jpg) options=(-quality 92 -sampling-factor 1x1) ;;
    tga) [ "$tool" = im ] && options=(-compress RLE) ;;
    dds) options=(-define dds:compression=dxt1) ;; # mipmaps: the whole chain unless told otherwise
  esac
  case $tool in
    ours-1) "${timer[@]}" env OMP_NUM_THREADS=1 "$ours" convert --threads 1 --only "*.$from" --to ".$to" "$dir" ;;
    before-1) "${timer[@]}" env OMP_NUM_THREADS=1 "$before" convert --threads 1 --only "*.$from" --to ".$to" "$dir" ;;
    ours-all) "${timer[@]}" "$ours" convert --threads 0 --only "*.$from" --to ".$to" "$dir" ;;
    im) "${timer[@]}" env MAGICK_THREAD_LIMIT=1 "$im_mogrify" -limit thread 1 "${options[@]}" -format "$to" "$dir"/*."$from" ;;
    gm) "${timer[@]}" env OMP_NUM_THREADS=1 "$gm" mogrify -limit threads 1 "${options[@]}" -format "$to" "$dir"/*."$from" ;;
  esac
}

threads_of() {
  case $1 in ours-all) echo "$cores" ;; *) echo 1 ;; esac
}

# psnr_median SOURCEDIR FROM DIR TO: median PSNR of DIR/*.TO against the sources
# shellcheck disable=SC2016 # the inner shell expands its own arguments
psnr_median() {
  local src=$1 from=$2 dir=$3 to=$4
  find "$dir" -maxdepth 1 -name "*.$to" -printf '%f\n' | sort |
    xargs -P "$cores" -I{} sh -c 'v=$("$0" -metric PSNR "$1/$(basename "$3" ".$4").$2" "$5/$3" null: 2>&1 >/dev/null); echo "$v"' \
      "$im_compare" "$src" "$from" {} "$to" "$dir" |
    grep -E '^[0-9.]+|^inf' | sort -g |
    awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# convert_set SET FROM TO [SOURCEDIR]: times each of $tools on one
# conversion, the tools taking turns round after round so that a slow
# spell of the machine falls on all of them, and prints a row per tool;
# each tool's last converted folder stays in $work/out-TOOL.
convert_set() {
  local set=$1 from=$2 to=$3 srcdir=${4:-$corpus/$1/$2}
  local count tool r
  local -A times=() peak=()
  count=$(find "$srcdir" -maxdepth 1 -name "*.$from" | wc -l)
  [ "$count" -gt 0 ] || { echo "| $set | ${from^^}->${to^^} | no $from files in $srcdir |" | tee -a "$results"; return; }
  local turn=()
  for tool in $tools; do
    [ "$to" = dds ] && [ "$tool" = gm ] && continue
    [ "$to" = wmf ] || [ "$from" = wmf ] && [[ $tool != ours-* ]] && continue
    [ "$tool" = before-1 ] && [ -z "$before" ] && continue
    turn+=("$tool")
  done
  for ((r = 0; r < repeats; r++)); do
    for tool in "${turn[@]}"; do
      local dir=$work/out-$tool t0 t1 rss
      rm -rf "$dir" && mkdir -p "$dir"
      cp "$srcdir"/*."$from" "$dir"/
      t0=$EPOCHREALTIME
      timed "$tool" "$from" "$to" "$dir" > "$work/log" 2>&1 || true
      t1=$EPOCHREALTIME
      rss=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time")
      [ "$rss" -gt "${peak[$tool]:-0}" ] && peak[$tool]=$rss
      times[$tool]+="$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }') "
    done
  done
  for tool in "${turn[@]}"; do
    local dir=$work/out-$tool best spread produced ips psnr="" bytes vs_gm="" vs_im=""
    best=$(tr ' ' '\n' <<< "${times[$tool]}" | grep . | sort -g | head -1)
    # the slowest round against the fastest, in per cent
    spread=$(tr ' ' '\n' <<< "${times[$tool]}" | grep . | sort -g | awk 'NR == 1 { b = $1 } { w = $1 } END { printf "%.0f", (b > 0 ? 100 * (w - b) / b : 0) }')
    produced=$(find "$dir" -maxdepth 1 -name "*.$to" -size +0 | wc -l)
    ips=$(awk -v n="$produced" -v s="$best" 'BEGIN { printf "%.1f", (s > 0 ? n / s : 0) }')
    rate[$set/$from-$to/$tool]=$ips
    if [ "$produced" -gt 0 ] && { [ "$to" = gif ] || [ "$to" = jpg ] || [ "$to" = dds ]; }; then
      psnr=$(psnr_median "$srcdir" "$from" "$dir" "$to")
    fi
    bytes=$(find "$dir" -maxdepth 1 -name "*.$to" -printf '%s\n' | awk '{ s += $1 } END { printf "%.1f", s / 1048576 }')
    if [[ $tool == ours-* || $tool == before-* ]] && [ "$produced" -gt 0 ]; then
      vs_gm=$(awk -v a="$ips" -v b="${rate[$set/$from-$to/gm]:-0}" 'BEGIN { if (b > 0) printf "%.2f", a / b }')
      vs_im=$(awk -v a="$ips" -v b="${rate[$set/$from-$to/im]:-0}" 'BEGIN { if (b > 0) printf "%.2f", a / b }')
    fi
    printf '| %s | %s->%s | %s | %s | %s/%s | %s | %s %% | %s | %s | %s | %.1f | %s | %s |\n' \
      "$set" "${from^^}" "${to^^}" "$tool" "$(threads_of "$tool")" "$produced" "$count" "$best" "$spread" "$ips" \
      "${vs_gm:--}" "${vs_im:--}" "$(awk -v k="${peak[$tool]:-0}" 'BEGIN { print k / 1024 }')" "${psnr:--}" "$bytes" |
      tee -a "$results"
  done
}

{
  echo "# Folder conversion, $(date -u +%Y-%m-%d), $cores cores, best of $repeats, tools taking turns"
  echo
  echo "| set | conversion | tool | threads | written | best s | spread | images/s | x gm | x IM | peak RSS MiB | median PSNR dB | output MiB |"
  echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|"
} > "$results"
cat "$results"

for set in $sets; do
  for conv in $conversions; do
    convert_set "$set" "${conv%:*}" "${conv#*:}"
  done
  $extras || continue
  # Ours alone: the metafile writer, then its files read back.
  convert_set "$set" jpg wmf
  rm -rf "$work/wmf" && mkdir -p "$work/wmf"
  if compgen -G "$work/out-ours-1/*.wmf" > /dev/null; then
    cp "$work"/out-ours-1/*.wmf "$work/wmf"/
    convert_set "$set" wmf bmp "$work/wmf"
  else
    echo "| $set | WMF->BMP | ours | - | no WMF files were written | | | | | | | | |" | tee -a "$results"
  fi
done
$extras || { echo; echo "results in $results"; exit 0; }

# Memory against the number of pictures: the program with no picture, then
# 5 and 20 of the 2048 x 2048 set (one decoded picture is 16 MiB).
{
  echo
  echo "| peak RSS MiB, 2048 JPG->BMP | threads | no picture | 5 pictures | 20 pictures |"
  echo "|---|---|---|---|---|"
} | tee -a "$results"
mapfile -t large < <(find "$corpus/2048/jpg" -name '*.jpg' | sort)
for threads in 1 0; do
  row=()
  for n in 0 5 20; do
    rm -rf "$work/mem" && mkdir -p "$work/mem"
    [ "$n" -gt 0 ] && cp -t "$work/mem" "${large[@]:0:n}"
    /usr/bin/time -v -o "$work/time" "$ours" convert --threads "$threads" --only '*.jpg' --to .bmp "$work/mem" > /dev/null 2>&1 || true
    row+=("$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$work/time")")
  done
  echo "| | $([ "$threads" = 0 ] && echo "$cores" || echo 1) | ${row[0]} | ${row[1]} | ${row[2]} |" | tee -a "$results"
done
echo
echo "results in $results"
