#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang, in a build directory of their own (only
# the core libraries and the targets; no window), and runs each target for SECONDS (default 30)
# on a copy of its seed corpus from tests/fuzz/corpus/, FUZZ_JOBS targets at a time (default: one
# per processor). Prints one line per target (executions, crashes, corpus size) and exits non-zero
# when any target crashed or broke one of its properties; the inputs that did so in this run are
# kept in BUILD/fuzz-artifacts/<target>/, and the command that replays each is printed.
#
#   scripts/fuzz.sh            the bounded run CI makes
#   scripts/fuzz.sh 300        a longer run: five minutes per target
#   FUZZ_TARGETS="ini restore" scripts/fuzz.sh 60
#   FUZZ_BUILD_DIR (default build-fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
if ! [[ $seconds =~ ^[0-9]+$ ]] || [[ $seconds -eq 0 ]]; then
  echo "usage: scripts/fuzz.sh [SECONDS]" >&2
  exit 2
fi
build_dir=${FUZZ_BUILD_DIR:-build-fuzz}
read -r -a targets <<<"${FUZZ_TARGETS:-command_line ini file_list catalogue restore}"
jobs=${FUZZ_JOBS:-$(nproc)}
started=$(date +%s)

CC=clang-14 CXX=clang++-14 cmake -S . -B "$build_dir" -DVORLEND_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" --target fuzz -j"$(nproc)" >"$build_dir/fuzz-build.log" 2>&1 || {
  tail -n 40 "$build_dir/fuzz-build.log" >&2
  echo "fuzz.sh: the build of the fuzz targets failed" >&2
  exit 1
}
built=$(date +%s)
bin=$(cd "$build_dir/bin" && pwd)

# The targets write many small files; a memory file system keeps that from dominating the run.
base=${TMPDIR:-/tmp}
[[ -d /dev/shm && -w /dev/shm ]] && base=/dev/shm
work=$(mktemp -d "$base/vorlend-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT

run_target() {
  local t=$1 dir=$work/$1
  mkdir -p "$dir/corpus" "$dir/artifacts" "$dir/tmp"
  cp tests/fuzz/corpus/"$t"/* "$dir/corpus/"
  local rc=0
  (cd "$dir" && TMPDIR="$dir/tmp" "$bin/fuzz_$t" -max_total_time="$seconds" -timeout=25 -max_len=4096 \
      -print_final_stats=1 -artifact_prefix="$dir/artifacts/" "$dir/corpus") >"$dir/log" 2>&1 || rc=$?
  echo "$rc" >"$dir/rc"
}

running=0
for t in "${targets[@]}"; do
  if [[ ! -d tests/fuzz/corpus/$t ]]; then
    echo "fuzz.sh: no target $t" >&2
    exit 2
  fi
  if [[ $running -ge $jobs ]]; then
    wait -n || true
    running=$((running - 1))
  fi
  run_target "$t" &
  running=$((running + 1))
done
wait

failed=0
for t in "${targets[@]}"; do
  dir=$work/$t
  rc=$(cat "$dir/rc" 2>/dev/null || echo 1)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -n 1)
  [[ -n $execs ]] || execs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$dir/log" | tail -n 1)
  [[ -n $execs ]] || execs=$(sed -n 's/^#\([0-9]*\)[[:space:]].*/\1/p' "$dir/log" | tail -n 1)
  crashes=$(find "$dir/artifacts" -type f | wc -l)
  [[ $rc -ne 0 && $crashes -eq 0 ]] && crashes=1
  corpus=$(find "$dir/corpus" -type f | wc -l)
  seeds=$(find tests/fuzz/corpus/"$t" -type f | wc -l)
  printf 'fuzz %-13s %10s executions  %s crashes  corpus %s inputs (%s seeds)\n' "$t" "${execs:-?}" "$crashes" "$corpus" "$seeds"
  if [[ $crashes -ne 0 ]]; then
    failed=1
    keep=$build_dir/fuzz-artifacts/$t
    rm -rf "$keep"
    mkdir -p "$keep"
    cp "$dir"/artifacts/* "$keep"/ 2>/dev/null || true
    cp "$dir/log" "$keep/log"
    grep -E -A12 'property broken|ERROR: (AddressSanitizer|libFuzzer|LeakSanitizer)|runtime error' "$dir/log" | head -n 40 >&2 || true
    for a in "$keep"/crash-* "$keep"/timeout-* "$keep"/oom-* "$keep"/leak-*; do
      [[ -e $a ]] && echo "  replay: $bin/fuzz_$t $(cd "$(dirname "$a")" && pwd)/$(basename "$a")" >&2
    done
  fi
done
finished=$(date +%s)
echo "fuzz.sh: ${#targets[@]} targets, ${seconds} s each, $jobs at a time; build $((built - started)) s, total $((finished - started)) s"
exit "$failed"
