#!/usr/bin/env bash
# Weighs the DDS writer's colour block packers (stb_dxt, stb_dxt in its high
# quality mode, libsquish's range and cluster fits) against ImageMagick's DDS
# writer in one run: JPEG pictures of the corpus to DXT1 and to DXT5, each
# with the whole chain of mipmaps, on one thread and on every core. Reports
# images per second, the ratio to ImageMagick on as many threads, and the
# median PSNR of the top level against the source (ImageMagick's compare,
# for every tool alike). The program itself (morvane convert) is timed too.
#   dds-encoders.sh [corpus] [results-file]
# corpus defaults to build/bench/corpus (make-corpus.sh); SETS (default
# "512 2048") picks its sets, KINDS (default "bc1 bc3") the kinds; REPEATS (default 3) runs of each, the fastest
# counting (libsquish's cluster fit, the slow one, runs once). Needs the
# default preset built and scripts/install-deps.sh bench.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
corpus=${1:-$root/build/bench/corpus}
results=${2:-$root/build/bench/dds-encoders.md}
build=${BUILD:-$root/build/default}
packers=$build/bench/codecs/bench_dds_encoders
ours=$build/app/morvane
repeats=${REPEATS:-3}
sets=${SETS:-512 2048}
kinds=${KINDS:-bc1 bc3}
im_mogrify=/usr/bin/mogrify-im6.q16
im_compare=/usr/bin/compare-im6.q16
cores=$(nproc)

for tool in "$packers" "$ours" "$im_mogrify" "$im_compare"; do
  [ -x "$tool" ] || { echo "missing $tool (build the default preset; scripts/install-deps.sh bench)" >&2; exit 1; }
done
[ -d "$corpus/512/jpg" ] || { echo "no corpus in $corpus: run bench/codecs/make-corpus.sh" >&2; exit 1; }

work=$(mktemp -d /tmp/morvane-dds-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$(dirname "$results")"
export QT_QPA_PLATFORM=offscreen
declare -A rate

# convert TOOL THREADS KIND DIR: DIR/*.jpg into DDS copies of KIND (bc1, bc3).
convert() {
  local tool=$1 threads=$2 kind=$3 dir=$4
  case $tool in
    im)
      local limit=() compression=(-define dds:compression=dxt1)
      # DXT5 only for pictures with an alpha channel: the photographs get one.
      [ "$kind" = bc3 ] && compression=(-alpha set -define dds:compression=dxt5)
      [ "$threads" = 1 ] && limit=(env MAGICK_THREAD_LIMIT=1)
      "${limit[@]}" "$im_mogrify" -limit thread "$([ "$threads" = 1 ] && echo 1 || echo "$cores")" \
        "${compression[@]}" -format dds "$dir"/*.jpg ;;
    morvane) "$ours" convert --threads "$threads" --dds-format "$kind" --only '*.jpg' --to .dds "$dir" ;;
    *) "$packers" "$tool" "$kind" "$threads" "$dir" ;;
  esac
}

# psnr_median DIR: the median PSNR of DIR/*.dds's top level against DIR/*.jpg.
# shellcheck disable=SC2016 # the inner shell expands its own arguments
psnr_median() {
  find "$1" -maxdepth 1 -name '*.dds' -printf '%f\n' | sort |
    xargs -P "$cores" -I{} sh -c 'v=$("$0" -metric PSNR "$1/$(basename "$2" .dds).jpg" "$1/$2" null: 2>&1 >/dev/null); echo "$v"' \
      "$im_compare" "$1" {} |
    grep -E '^[0-9.]+|^inf' | sort -g |
    awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# run SET KIND TOOL THREADS: times one tool and prints its row.
run() {
  local set=$1 kind=$2 tool=$3 threads=$4 dir=$work/last best="" r produced=0
  local rounds=$repeats
  [ "$tool" = squish-cluster ] && rounds=1
  local count
  count=$(find "$corpus/$set/jpg" -maxdepth 1 -name '*.jpg' | wc -l)
  for ((r = 0; r < rounds; r++)); do
    rm -rf "$dir" && mkdir -p "$dir"
    cp "$corpus/$set/jpg"/*.jpg "$dir"/
    local t0 t1 secs
    t0=$EPOCHREALTIME
    convert "$tool" "$threads" "$kind" "$dir" > "$work/log" 2>&1 || true
    t1=$EPOCHREALTIME
    secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')
    if [ -z "$best" ] || awk -v s="$secs" -v b="$best" 'BEGIN { exit !(s < b) }'; then best=$secs; fi
    produced=$(find "$dir" -maxdepth 1 -name '*.dds' -size +0 | wc -l)
  done
  local ips psnr vs_im="-" shown_threads=$threads
  [ "$threads" = 0 ] && shown_threads=$cores
  ips=$(awk -v n="$produced" -v s="$best" 'BEGIN { printf "%.2f", (s > 0 ? n / s : 0) }')
  rate[$set/$kind/$tool/$threads]=$ips
  if [ "$tool" != im ]; then
    vs_im=$(awk -v a="$ips" -v b="${rate[$set/$kind/im/$threads]:-0}" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')
  fi
  psnr=$(psnr_median "$dir")
  local bytes
  bytes=$(find "$dir" -maxdepth 1 -name '*.dds' -printf '%s\n' | awk '{ s += $1 } END { printf "%.1f", s / 1048576 }')
  printf '| %s | %s | %s | %s | %s/%s | %s | %s | %s | %s | %s |\n' "$set" "${kind^^}" "$tool" "$shown_threads" \
    "$produced" "$count" "$best" "$ips" "$vs_im" "$psnr" "$bytes" | tee -a "$results"
}

{
  echo "# DDS colour block packers, $(date -u +%Y-%m-%d), $cores cores, best of $repeats"
  echo
  echo "| set | kind | tool | threads | written | best s | images/s | x IM | median PSNR dB (top level) | output MiB |"
  echo "|---|---|---|---|---|---|---|---|---|---|"
} > "$results"
cat "$results"

for set in $sets; do
  for kind in $kinds; do
    for threads in 1 0; do
      for tool in im stb stb-hq squish-range squish-cluster morvane; do
        run "$set" "$kind" "$tool" "$threads"
      done
    done
  done
done
echo
echo "results in $results"
