#!/usr/bin/env bash
# Renders the manual page as man does, warnings on: it must render without a
# complaint and hold the sections a reader looks for.
#   manpage.sh PAGE
set -euo pipefail
page=$1
err=$(mktemp)
trap 'rm -f "$err"' EXIT
text=$(MANWIDTH=80 man --warnings -l "$page" 2>"$err")
if [ -s "$err" ]; then
  cat "$err" >&2
  echo "FAIL: man complains about $page" >&2
  exit 1
fi
for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" EXAMPLES; do
  grep -qx "$section" <<<"$text" || { echo "FAIL: no $section section" >&2; exit 1; }
done
for form in "morvane [FOLDER]" "morvane cfg [OPTIONS] FOLDER" "morvane convert --to SUFFIX [OPTIONS] FOLDER"; do
  grep -qF "$form" <<<"$text" || { echo "FAIL: the synopsis lacks $form" >&2; exit 1; }
done
