#!/usr/bin/env bash
# Makes a second benchmark corpus of real game textures: the square
# textures of 256 to 1024 pixels a side that Debian's extremetuxracer-data
# ships (terrain, objects, sky), as they are (PNG) and as lossless BMP and
# JPEG (quality 90) copies:
#   <out>/game/{png,bmp,jpg}
# Usage: make-game-corpus.sh [out]   (default build/bench/corpus)
# Needs: scripts/install-deps.sh bench
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/build/bench/corpus}/game
textures=/usr/share/games/etr
im_convert=/usr/bin/convert-im6.q16
im_identify=/usr/bin/identify-im6.q16

[ -x "$im_convert" ] || { echo "missing $im_convert: run scripts/install-deps.sh bench" >&2; exit 1; }
[ -d "$textures" ] || { echo "no textures in $textures: run scripts/install-deps.sh bench" >&2; exit 1; }
rm -rf "$out"
mkdir -p "$out/png" "$out/bmp" "$out/jpg"
n=0
while IFS= read -r -d '' file; do
  size=$("$im_identify" -format '%w %h' "$file[0]" 2>/dev/null) || continue
  read -r w h <<<"$size"
  [ "$w" = "$h" ] && [ "$w" -ge 256 ] && [ "$w" -le 1024 ] || continue
  name=$(printf 'etr%03d' "$n")
  # Flattened onto white where they are clear, as every format here can hold them.
  "$im_convert" "$file[0]" -background white -alpha remove -alpha off -type TrueColor "$out/png/$name.png"
  "$im_convert" "$out/png/$name.png" "BMP3:$out/bmp/$name.bmp"
  "$im_convert" "$out/png/$name.png" -quality 90 "$out/jpg/$name.jpg"
  n=$((n + 1))
done < <(find "$textures" -type f \( -iname '*.png' -o -iname '*.jpg' \) -print0 | sort -z)
echo "$n textures in $out"
