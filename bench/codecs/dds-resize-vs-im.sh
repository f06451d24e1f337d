#!/usr/bin/env bash
# Ours against ImageMagick 6 in one run, single-threaded, the two taking
# turns, best of REPEATS (default 3), with the spread of the rounds:
#  - DDS with the whole chain of mipmaps: BC1 (IM: dds:compression=dxt1),
#    BC3 (IM: dxt5, alpha set) and BC5. ImageMagick 6 writes no BC5 (ATI2)
#    and reads none either; the nearest it has is DXT5, as large a block
#    (16 bytes for 16 texels), which the BC5 row times it with. BC5 holds red
#    and green alone, so its PSNR is of those two channels, ours decoded by
#    our own reader (morvane convert to PNG), IM's DXT5 by ImageMagick.
#    Other PSNRs: ImageMagick's compare of the top level against the source.
#  - --resize pot: 700 x 450 crops of the 2048 px BMP files to 512 x 512,
#    Mitchell, as JPEG and TGA copies (bench/codecs/resize-peers.sh's run);
#    IM resizes the stored values, ours in linear light. The PSNR is of our
#    TGA copies against ImageMagick's linear-light resize (-colorspace RGB
#    ... -colorspace sRGB), the reference the resize test uses.
#   dds-resize-vs-im.sh [corpus] [results-file]
# corpus (default build/bench/corpus) holds 512/ and 2048/ (make-corpus.sh)
# and game/ (make-game-corpus.sh); SETS (default "512/jpg game/png game/bmp
# game/jpg") and KINDS (default "bc1 bc3 bc5") pick the DDS rows, RESIZE=0
# leaves resizing out.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
corpus=${1:-$root/build/bench/corpus}
results=${2:-$root/build/bench/dds-resize-vs-im.md}
ours=${OURS:-$root/build/default/app/morvane}
repeats=${REPEATS:-3}
sets=${SETS:-512/jpg game/png game/bmp game/jpg}
kinds=${KINDS:-bc1 bc3 bc5}
im_convert=/usr/bin/convert-im6.q16
im_mogrify=/usr/bin/mogrify-im6.q16
im_compare=/usr/bin/compare-im6.q16
cores=$(nproc)

for tool in "$ours" "$im_convert" "$im_mogrify" "$im_compare"; do
  [ -x "$tool" ] || { echo "missing $tool (build the default preset; scripts/install-deps.sh bench)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/morvane-vs-im.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$(dirname "$results")"
export QT_QPA_PLATFORM=offscreen OMP_NUM_THREADS=1 MAGICK_THREAD_LIMIT=1

# seconds CMD...: runs CMD (its output dropped) and prints the seconds it took.
seconds() {
  local t0=$EPOCHREALTIME
  "$@" > "$work/log" 2>&1 || { echo "failed: $*" >&2; tail -3 "$work/log" >&2; exit 1; }
  awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }'
}

# fresh SOURCEDIR DIR: DIR made anew with SOURCEDIR's pictures.
fresh() { rm -rf "$2" && cp -r "$1" "$2" && sync; }

# median: the median of the numbers on standard input ("-" for none).
median() {
  grep -E '^[0-9.]+$|^inf$' | sort -g |
    awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# psnrs SRCDIR FROM DIR TO [CHANNELS]: the PSNR of each DIR/*.TO against SRCDIR's *.FROM.
# shellcheck disable=SC2016 # the inner shell expands its own arguments
psnrs() {
  local channels=${5:-}
  find "$3" -maxdepth 1 -name "*.$4" -printf '%f\n' | sort |
    xargs -P "$cores" -I{} sh -c 'c=""; [ -n "$6" ] && c="-channel $6"; v=$($0 $c -metric PSNR "$1/$(basename "$3" ".$4").$2" "$5/$3" null: 2>&1 >/dev/null); echo "$v"' \
      "$im_compare" "$1" "$2" {} "$4" "$3" "$channels"
}

# best_of TIMES...: "best spread%" of the times.
best_of() {
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { printf "%s %.0f", v[1], (v[NR] - v[1]) / v[1] * 100 }'
}

row() { # label ours-times im-times ours-psnr im-psnr count
  local label=$1 o i ob os ib is
  read -r ob os <<< "$(best_of $2)"
  read -r ib is <<< "$(best_of $3)"
  printf '| %s | %s | %.1f (±%s%%) | %.1f (±%s%%) | %.2fx | %s | %s |\n' "$label" "$6" \
    "$(echo "$6 / $ob" | bc -l)" "$os" "$(echo "$6 / $ib" | bc -l)" "$is" "$(echo "$ib / $ob" | bc -l)" "$4" "$5" | tee -a "$results"
}

{
  echo "# Ours against ImageMagick 6, $(date -u +%Y-%m-%d), single-threaded, best of $repeats (spread: slowest over fastest)"
  echo
  echo "| conversion | pictures | ours pictures/s | IM pictures/s | ours / IM | ours median PSNR dB | IM median PSNR dB |"
  echo "|---|---|---|---|---|---|---|"
} > "$results"
cat "$results"

for set in $sets; do
  from=${set##*/}
  src=$corpus/$set
  [ -d "$src" ] || { echo "no $src: run bench/codecs/make-corpus.sh and make-game-corpus.sh" >&2; exit 1; }
  count=$(find "$src" -maxdepth 1 -name "*.$from" | wc -l)
  for kind in $kinds; do
    case $kind in
      bc1) im_options=(-define dds:compression=dxt1) ;;
      *) im_options=(-alpha set -define dds:compression=dxt5) ;;
    esac
    ot="" it=""
    for ((r = 0; r < repeats; r++)); do
      fresh "$src" "$work/im"
      it+=" $(seconds "$im_mogrify" -limit thread 1 "${im_options[@]}" -format dds "$work/im"/*."$from")"
      fresh "$src" "$work/ours"
      ot+=" $(seconds "$ours" convert --threads 1 --quiet --only "*.$from" --dds-format "$kind" --mipmaps all --to .dds "$work/ours")"
    done
    if [ "$kind" = bc5 ]; then
      mkdir -p "$work/decoded" && rm -f "$work/decoded"/*
      "$ours" convert --threads 0 --quiet --only '*.dds' --output-dir "$work/decoded" --to .png "$work/ours" > /dev/null
      op=$(psnrs "$src" "$from" "$work/decoded" png RG | median)
      ip=$(psnrs "$src" "$from" "$work/im" dds RG | median)
      label="$set to BC5 (IM: DXT5), red and green"
    else
      op=$(psnrs "$src" "$from" "$work/ours" dds | median)
      ip=$(psnrs "$src" "$from" "$work/im" dds | median)
      label="$set to ${kind^^}"
    fi
    row "$label" "$ot" "$it" "$op" "$ip" "$count"
  done
done

if [ "${RESIZE:-1}" != 0 ]; then
  [ -d "$corpus/2048/bmp" ] || { echo "no $corpus/2048/bmp: run bench/codecs/make-corpus.sh" >&2; exit 1; }
  mkdir "$work/crops" "$work/reference"
  n=0
  for picture in "$corpus"/2048/bmp/*.bmp; do
    for offset in 0+0 700+450 1300+900 0+1500 1340+1590; do
      "$im_convert" "$picture" -crop "700x450+${offset%+*}+${offset#*+}" +repage "$work/crops/t$n.bmp"
      n=$((n + 1))
    done
  done
  for crop in "$work"/crops/*.bmp; do
    "$im_convert" "$crop" -colorspace RGB -filter Mitchell -resize '512x512!' -colorspace sRGB -depth 8 \
      "PNG24:$work/reference/$(basename "$crop" .bmp).png"
  done
  for to in jpg tga; do
    case $to in
      jpg) im_options=(-quality 92 -sampling-factor 1x1) ;;
      tga) im_options=(-compress RLE) ;;
    esac
    ot="" it=""
    for ((r = 0; r < repeats; r++)); do
      fresh "$work/crops" "$work/im"
      it+=" $(seconds "$im_mogrify" -limit thread 1 -filter Mitchell -resize '512x512!' "${im_options[@]}" -format "$to" "$work/im"/*.bmp)"
      fresh "$work/crops" "$work/ours"
      ot+=" $(seconds "$ours" convert --threads 1 --quiet --resize pot --to ".$to" "$work/ours")"
    done
    op=- ip=-
    if [ "$to" = tga ]; then
      op=$(psnrs "$work/reference" png "$work/ours" tga | median)
      ip=$(psnrs "$work/reference" png "$work/im" tga | median)
    fi
    row "--resize pot, BMP to ${to^^} (PSNR vs IM linear light)" "$ot" "$it" "$op" "$ip" "$n"
  done
fi
echo
echo "results in $results"
