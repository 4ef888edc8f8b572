#!/usr/bin/env bash
# Regenerates the "Figures" section of docs/internals.md: test counts (plain and under the sanitizers),
# fuzzing executions and crashes, kill points tried and passed, the campaign's scenarios, and the
# benchmark ratios. Runs the whole of scripts/test.sh, archive_bench and catalogue_bench first (about 25 minutes on
# 2 cores); `--from-logs` only rereads what the last run left in BUILD_DIR/figures/.
#   scripts/figures.sh [--from-logs]
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
figures="$build_dir/figures"
if [[ "${1:-}" != "--from-logs" ]]; then
  scripts/test.sh
  "$build_dir/bin/archive_bench" | tee "$figures/bench.txt"
  "$build_dir/bin/catalogue_bench" | tee "$figures/catalogue-bench.txt"
fi
for f in tests.txt asan-tests.txt fuzz.txt campaign.txt bench.txt catalogue-bench.txt; do
  [[ -f "$figures/$f" ]] || { echo "figures.sh: $figures/$f is missing; run without --from-logs" >&2; exit 1; }
done

tests_line() { grep -E "tests passed" "$1" | tail -n 1; }
{
  echo "<!-- figures:begin (scripts/figures.sh writes this section) -->"
  echo "Measured by \`scripts/figures.sh\` on $(date +%Y-%m-%d), $(nproc) cores, $(uname -m)."
  echo
  echo "| proof | result |"
  echo "|---|---|"
  echo "| test suite | $(tests_line "$figures/tests.txt") |"
  echo "| test suite under AddressSanitizer + UndefinedBehaviorSanitizer | $(tests_line "$figures/asan-tests.txt") |"
  if [[ -s "$figures/power-cuts.txt" ]]; then
    cuts=$(sed 's/^power cuts: //; s/, /\n/g' "$figures/power-cuts.txt" | sort |
      awk '{ n[$1] += $2; t += $2 } END { printf "save %d + restore %d = %d cuts", n["save"], n["restore"], t }')
    echo "| power-cut test (a file's writes since its last sync lost, or some files' caches written back) | $cuts, every check passed |"
  fi
  while read -r _ target execs _ crashes _ _ corpus _; do
    echo "| fuzzing \`$target\` | $execs executions, $crashes crashes, corpus $corpus inputs |"
  done < <(grep -E '^fuzz ' "$figures/fuzz.txt")
  # The campaign's scenarios as a plain table: what each checks and its verdict (the full detail of
  # each run stays in BUILD_DIR/figures/campaign.txt).
  declare -A what=(
    [s1]="another user flips documents during a save; every document's history explained"
    [s2a]="two saves at once on different modules"
    [s3]="a save beside a restore of an older archive"
    [s8]="three saves, a restore and another user at once"
    [s13]="a deletion beside a restore; delete-after beside another user's delete and save; two restores"
    [s14]="two saves started at the same instant, 6 times: one runs, the other is refused"
    [s15]="saves one after another: the second refused without --force, the older restore refused, newest first restores all"
    [s11]="a save killed at 55 moments (and stopped by SIGTERM at 10), every incomplete archive restored"
    [s12]="a restore killed at 60 moments, then restored again"
  )
  echo
  echo "| campaign scenario | what it checks | verdict |"
  echo "|---|---|---|"
  while read -r verdict name _; do
    name=${name%:}
    echo "| \`$name\` | ${what[$name]:-} | $verdict |"
  done < <(grep -E '^(PASS|FAIL) ' "$figures/campaign.txt")
  echo
  echo "Benchmark (\`build/bin/archive_bench\`):"
  echo
  echo '```'
  cat "$figures/bench.txt"
  echo '```'
  echo
  echo "Catalogue (\`build/bin/catalogue_bench\`):"
  echo
  echo '```'
  cat "$figures/catalogue-bench.txt"
  echo '```'
  echo "<!-- figures:end -->"
} > "$figures/section.md"

python3 - "$figures/section.md" <<'PY'
import re, sys
section = open(sys.argv[1], encoding="utf-8").read().rstrip("\n")
readme = open("docs/internals.md", encoding="utf-8").read()
pattern = re.compile(r"<!-- figures:begin.*?<!-- figures:end -->", re.S)
if not pattern.search(readme):
    sys.exit("figures.sh: docs/internals.md has no figures section")
open("docs/internals.md", "w", encoding="utf-8").write(pattern.sub(lambda m: section, readme))
PY
echo "figures.sh: docs/internals.md updated"
