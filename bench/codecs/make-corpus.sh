#!/usr/bin/env bash
# Makes the benchmark corpus of photographic textures, cropped from the
# nature photographs of Debian's mate-backgrounds package:
#   <out>/512/{jpg,bmp,png}    200 pictures of 512 x 512
#   <out>/2048/{jpg,bmp,png}    20 pictures of 2048 x 2048
# The JPEG files are written at quality 90; the BMP (24-bit) and PNG files
# are lossless copies of them. The photographs are under 2048 pixels high,
# so the large crops are taken from them scaled up to at least 2048 on their
# short side. Usage: make-corpus.sh [out]   (default build/bench/corpus)
# Needs: scripts/install-deps.sh bench
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
# Absolute, as the copies are made from inside the folders.
out=$(realpath -m "${1:-$root/build/bench/corpus}")
photos=/usr/share/backgrounds/mate/nature
im_convert=/usr/bin/convert-im6.q16
im_mogrify=/usr/bin/mogrify-im6.q16
im_identify=/usr/bin/identify-im6.q16

for tool in "$im_convert" "$im_mogrify" "$im_identify"; do
  [ -x "$tool" ] || { echo "missing $tool: run scripts/install-deps.sh bench" >&2; exit 1; }
done
mapfile -t sources < <(find "$photos" -maxdepth 1 -name "*.jpg" 2>/dev/null | sort)
[ "${#sources[@]}" -gt 0 ] || { echo "no photographs in $photos: run scripts/install-deps.sh bench" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# crops SIZE COUNT SCALES...: COUNT crops of SIZE x SIZE, taken in turn from
# each photograph at each scale ("50%", or "2048x2048^" to reach a size),
# at offsets spread over the picture by fixed steps.
crops() {
  local size=$1 count=$2; shift 2
  local scales=("$@")
  local dir=$out/$size/jpg
  rm -rf "${out:?}/$size"
  mkdir -p "$dir"
  local n=${#sources[@]} i=0
  while [ "$i" -lt "$count" ]; do
    local photo=$((i % n)) round=$((i / n))
    local scale=${scales[$((round % ${#scales[@]}))]}
    local cache=$work/$size-p$photo-s$((round % ${#scales[@]})).mpc
    if [ ! -f "$cache" ]; then
      "$im_convert" "${sources[$photo]}" -resize "$scale" "$cache"
    fi
    local w h
    read -r w h < <("$im_identify" -format '%w %h\n' "$cache")
    local spanx=$((w - size)) spany=$((h - size))
    if [ "$spanx" -lt 0 ] || [ "$spany" -lt 0 ]; then
      echo "photograph ${sources[$photo]} at $scale is smaller than $size" >&2
      exit 1
    fi
    local x=$(((round * 397 + photo * 131) % (spanx + 1)))
    local y=$(((round * 211 + photo * 89) % (spany + 1)))
    "$im_convert" "$cache" -crop "${size}x${size}+${x}+${y}" +repage -quality 90 \
      "$dir/$(printf 'tex%03d' "$i").jpg"
    i=$((i + 1))
  done
  mkdir -p "$out/$size/bmp" "$out/$size/png"
  (cd "$dir" && "$im_mogrify" -path "$out/$size/bmp" -type TrueColor -format bmp3 ./*.jpg)
  (cd "$out/$size/bmp" && for f in *.bmp3; do mv "$f" "${f%.bmp3}.bmp"; done)
  (cd "$dir" && "$im_mogrify" -path "$out/$size/png" -format png ./*.jpg)
}

crops 512 200 "100%" "70%" "50%"
crops 2048 20 "2048x2048^" "2300x2300^"

for size in 512 2048; do
  for fmt in jpg bmp png; do
    printf '%s/%s: %s files, %s\n' "$size" "$fmt" "$(find "$out/$size/$fmt" -type f | wc -l)" \
      "$(du -sh "$out/$size/$fmt" | cut -f1)"
  done
done
