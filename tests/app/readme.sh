#!/usr/bin/env bash
# Runs the commands of README.md's shell blocks in the README's order, as a
# reader does after ./scripts/run.sh, and checks what they make. They run in a
# scratch folder whose build/release is BUILD_DIR, with HOME there too, so that
# ~/mods/castle/textures is a folder of test textures; sudo runs its command
# as it is, and installing goes into a DESTDIR whose bin is on PATH. The window
# is opened on a private X display and closed through its frame.
#   readme.sh README BUILD_DIR XCLOSE
set -euo pipefail
readme=$(realpath "$1") build=$(realpath "$2") xclose=$(realpath "$3")
. "$(dirname "$0")/xvfb.sh"

# The commands not run here, each with why.
skip=(
  ./scripts/run.sh                         # the set-up: installs packages, builds, starts the window
  ./scripts/test.sh                        # runs this check among all the others
  "cp -r fuzz/wmf/corpus /tmp/wmf-corpus"  # fuzzing: needs the fuzz build and runs ten minutes
  "LSAN_OPTIONS=* build/fuzz/fuzz/wmf/fuzz_wmf *"
)

use_scratch
fail() {
  echo "FAIL: $*" >&2
  [ ! -s "$work/log" ] || cat "$work/log" >&2
  exit 1
}

textures=$work/home/mods/castle/textures
mkdir -p "$work/build" "$textures"
ln -s "$build" "$work/build/release"
/usr/bin/convert -size 8x8 xc:red "$textures/stone.bmp"
/usr/bin/convert -size 8x4 xc:blue "$textures/wood.bmp"
export HOME=$work/home DESTDIR=$work/root PATH=$work/root/usr/local/bin:$PATH
sudo() { "$@"; }
start_xvfb

# One line per command: the lines of each ```sh block, continuations joined.
awk '/^```/ { sh = ($0 == "```sh"); next }
     sh { if (sub(/\\$/, "")) { line = line $0; next } print line $0; line = "" }' "$readme" >"$work/commands"
ran=0
cd "$work"
while IFS= read -r command; do
  for pattern in "${skip[@]}"; do
    # shellcheck disable=SC2053 # the skip list holds patterns
    [[ $command != $pattern ]] || continue 2
  done
  if [[ $command =~ ^morvane\ +~ ]]; then
    # The window: it must open, and end with status 0 when closed.
    eval "QT_QPA_PLATFORM=xcb exec $command" 2>"$work/log" </dev/null &
    pid=$!
    window=$(wait_window "$pid" Morvane) || fail "$command: no main window"
    "$xclose" "$window" || fail "$command: could not close the window"
    wait "$pid" || fail "$command: status $? after closing the window"
    pid=
  else
    eval "$command" >"$work/log" 2>&1 </dev/null || fail "$command: status $?"
  fi
  ran=$((ran + 1))
done <"$work/commands"
[ "$ran" -ge 5 ] || fail "only $ran commands of README.md were run"

# What the commands made.
debs=("$work"/morvane_*.deb)
[ -f "${debs[0]}" ] && dpkg-deb -f "${debs[0]}" Package | grep -qx morvane || fail "cpack made no package"
[ -x "$DESTDIR/usr/local/bin/morvane" ] && [ -f "$DESTDIR/usr/local/share/man/man1/morvane.1.gz" ] ||
  fail "cmake --install put no program or manual page"
printf '%s\r\n' "texture 12 \"castle/walls/stone.bmp\"" "texture 12 \"castle/walls/wood.bmp\"" >"$work/expected"
grep '^texture' walls.cfg | cmp - "$work/expected" || fail "walls.cfg lacks the textures"
for name in stone wood; do
  file "$textures/$name.jpg" | grep -q 'JPEG image data' || fail "convert made no $name.jpg"
done
echo "README commands passed: $ran run, ${#skip[@]} skipped"
