#!/usr/bin/env bash
# Runs the administrator's round of README.md exactly as the page prints it (the block between
# <!-- round:begin --> and <!-- round:end -->), from the project's folder, and fails if any of
# its commands fails. CI runs it as a test, so the page cannot drift from the tool.
set -euo pipefail
cd "$(dirname "$0")/.."
block=$(awk '/<!-- round:begin -->/{on=1; next} /<!-- round:end -->/{on=0} on' README.md | sed '/^```/d')
[[ -n "$block" ]] || { echo "readme-round.sh: README.md has no round block" >&2; exit 1; }
# Every command must succeed; a pipeline's status is its last command's, as in an interactive
# shell (`| head` ends a long listing early).
bash -e -c "$block"
echo "readme-round.sh: the README's round ran as written"
