#!/usr/bin/env bash
# Renders the manual page as man does, warnings on: it must render without a
# complaint, hold the sections a reader looks for, and list the suffixes the
# program's own --help lists (those come from its format table).
#   manpage.sh PAGE PROGRAM
set -euo pipefail
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
err=$(mktemp)
trap 'rm -f "$err"' EXIT
text=$(MANWIDTH=80 man --warnings -l "$1" 2>"$err")
[ ! -s "$err" ] || fail "man complains about $1: $(cat "$err")"
for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" EXAMPLES; do
  grep -qx "$section" <<<"$text" || fail "no $section section"
done
for form in "morvane [FOLDER]" "morvane cfg [OPTIONS] FOLDER" "morvane convert --to SUFFIX [OPTIONS] FOLDER|FILE..."; do
  grep -qF "$form" <<<"$text" || fail "the synopsis lacks $form"
done
suffixes() { tr -s ' \n' ' ' | sed -n 's/.*The destination suffix: \(\.[a-z., ]*\) [-o].*/\1/p'; }
listed=$("$2" convert --help | suffixes)
[ -n "$listed" ] || fail "convert --help lists no suffixes"
[ "$(suffixes <<<"$text")" = "$listed" ] || fail "the page's suffixes are not those of --help: $listed"
