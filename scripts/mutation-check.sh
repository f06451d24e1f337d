#!/usr/bin/env bash
# Plants each fault of scripts/mutations.txt alone in the sources, rebuilds,
# runs the whole test suite and tells whether a test caught the fault. Each
# fault costs a build and a full test run: run it by hand, not in CI.
#   scripts/mutation-check.sh [BUILD-DIR [ID...]]
# BUILD-DIR defaults to build/mutation; IDs pick entries, all by default.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/mutation}
picked=" ${*:2} "
list=scripts/mutations.txt
logs=$build/mutation-logs

occurrences() { # occurrences TEXT PART: how many times PART occurs in TEXT
  local text=$1 n=0
  while [[ $text == *"$2"* ]]; do text=${text#*"$2"}; n=$((n + 1)); done
  echo "$n"
}
die() { echo "mutation-check: $*" >&2; exit 2; }

# Every entry is checked before anything is built. The files are restored
# from git afterwards, so they must hold no changes of their own.
ids=() paths=() originals=() replacements=()
while IFS=$'\t' read -r id path original replacement extra; do
  [[ -z $id || $id == \#* ]] && continue
  [[ $picked == "  " || $picked == *" $id "* ]] || continue
  [[ -n $replacement && -z $extra ]] || die "$id: not four tab-separated fields"
  [[ -f $path ]] || die "$id: no file $path"
  n=$(occurrences "$(<"$path")" "$original")
  [[ $n == 1 ]] || die "$id: the text occurs $n times in $path, not once: $original"
  git diff --quiet HEAD -- "$path" || die "$path has changes of its own: commit or stash them first"
  ids+=("$id") paths+=("$path") originals+=("$original") replacements+=("$replacement")
done < "$list"

planted=
restore() {
  if [[ -n $planted ]]; then git checkout -q HEAD -- "$planted"; planted=; fi
}
trap restore EXIT
trap 'exit 130' INT TERM

if [[ ! -f $build/CMakeCache.txt ]]; then
  if command -v ccache > /dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
    export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
  fi
  cmake --preset default -B "$build" > /dev/null
fi
mkdir -p "$logs"

# 0 when every test passes, 1 when one fails, 2 when the build fails.
run_suite() { # run_suite LOG
  cmake --build "$build" -j2 > "$1" 2>&1 || return 2
  ctest --test-dir "$build" -j2 --timeout 300 --output-on-failure >> "$1" 2>&1 || return 1
}

start=$SECONDS
status=0
run_suite "$logs/unchanged.log" || status=$?
((status == 0)) || { echo "the unchanged sources fail already: see $logs/unchanged.log" >&2; exit 1; }

caught=0 broken=0
for i in "${!ids[@]}"; do
  text=$(<"${paths[i]}")
  planted=${paths[i]}
  printf '%s\n' "${text/"${originals[i]}"/"${replacements[i]}"}" > "${paths[i]}"
  log=$logs/${ids[i]}.log
  status=0
  run_suite "$log" || status=$?
  restore
  case $status in
    0) verdict=survived ;;
    1) caught=$((caught + 1))
       verdict="caught by $(sed -n '/tests FAILED:/,$ s/^[[:space:]]*[0-9]* - \([^ ]*\) .*/\1/p' "$log" | paste -sd' ')" ;;
    *) caught=$((caught + 1)) broken=$((broken + 1)) verdict="does not compile (see $log)" ;;
  esac
  printf '%-22s %s\n' "${ids[i]}" "$verdict"
done

elapsed=$((SECONDS - start))
echo "caught $caught of ${#ids[@]} (in $((elapsed / 60)) min $((elapsed % 60)) s)"
if ((broken > 0)); then
  echo "$broken did not compile: fix those entries of $list" >&2
  exit 1
fi
