#!/usr/bin/env bash
# Runs the administrator's round of README.md exactly as the page prints it (the block between
# <!-- round:begin --> and <!-- round:end -->), from the project's folder, and fails if any of
# its commands fails, inside a pipeline too. What the round prints must be what the page shows
# below it (the console block that follows), apart from dates, times and seconds, and apart from
# how the lines are broken. CI runs it as a test, so the page cannot drift from the tool.
set -euo pipefail
cd "$(dirname "$0")/.."
block=$(awk '/<!-- round:begin -->/{on=1; next} /<!-- round:end -->/{on=0} on' README.md | sed '/^```/d')
[[ -n "$block" ]] || { echo "readme-round.sh: README.md has no round block" >&2; exit 1; }
shown=$(awk '/<!-- round:end -->/{after=1} after && /^```console/{on=1; next} on && /^```/{exit} on' README.md)
[[ -n "$shown" ]] || { echo "readme-round.sh: README.md shows no output after its round" >&2; exit 1; }

# Lines as one per message, the moment's date, time and seconds left out, and the progress lines of
# a table that took longer than a second on a loaded machine dropped.
normalise() {
  sed -e ':a' -e 'N' -e '$!ba' -e 's/\n  / /g' |
    sed -E -e 's/[0-9]{1,2}\.[0-9]{1,2}\.[0-9]{4}/DATE/g' -e 's/[0-9]{1,2}:[0-9]{2}:[0-9]{2}/TIME/g' \
      -e 's/[0-9]+,[0-9] s\./N s./g' |
    grep -Ev '^ *tabulka [0-9]+ z [0-9]+: [0-9]+ / [0-9]+' || true
}
printed=$(mktemp)
trap 'rm -f "$printed"' EXIT
bash -e -o pipefail -c "$block" >"$printed" 2>&1 || {
  cat "$printed" >&2
  echo "readme-round.sh: a command of the README's round failed" >&2
  exit 1
}
if ! diff -u <(normalise <<<"$shown") <(normalise <"$printed") >&2; then
  echo "readme-round.sh: the round printed otherwise than the README shows (- the page, + the round)" >&2
  exit 1
fi
echo "readme-round.sh: the README's round ran as written and printed what the page shows"
