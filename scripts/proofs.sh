#!/usr/bin/env bash
# The proofs beyond the test suite, each bounded so that CI stays well inside its time (run after
# scripts/build.sh; scripts/test.sh runs it):
#   1. the whole test suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   2. every fuzz target for FUZZ_SECONDS (default 30) on its committed seed corpus;
#   3. the kill test and a bounded concurrency campaign (tests/stress/campaign.py ci);
#   4. clang-tidy over src/ with the project's .clang-tidy (scripts/tidy.sh), which must be clean.
# What each stage printed is kept in BUILD_DIR/figures/ for scripts/figures.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
asan_dir=${ASAN_BUILD_DIR:-build-asan}
figures="$build_dir/figures"
mkdir -p "$figures"
stage() { echo "== proofs: $1 ($(date +%T))"; }

stage "build with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B "$asan_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLEND_SANITIZE=ON >/dev/null
cmake --build "$asan_dir" -j"$(nproc)" >"$figures/asan-build.log" 2>&1 || {
  tail -n 40 "$figures/asan-build.log" >&2
  exit 1
}
stage "the test suite under the sanitizers"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:halt_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# The power-cut test makes a thousand cuts in the plain build; under the sanitizers 200 prove the
# same code paths in a fraction of the time.
VORLEND_POWER_CUTS=${VORLEND_POWER_CUTS:-200} QT_QPA_PLATFORM=offscreen ctest --test-dir "$asan_dir" --output-on-failure -j2 --timeout 900 \
  | tee "$figures/asan-tests.txt" | grep -vE '^ +(Start|[0-9]+/[0-9]+ Test) ' || true
grep -q "100% tests passed" "$figures/asan-tests.txt" || { echo "proofs: tests failed under the sanitizers" >&2; exit 1; }

stage "fuzzing, ${FUZZ_SECONDS:-30} s per target"
scripts/fuzz.sh "${FUZZ_SECONDS:-30}" | tee "$figures/fuzz.txt"

stage "kill test and bounded concurrency campaign"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 tests/stress/campaign.py "$build_dir/bin" "$build_dir/bin/stress-other-user" "$work" ci | tee "$figures/campaign.txt"
grep -q "failed: \[\]" "$figures/campaign.txt" || { echo "proofs: the campaign failed" >&2; exit 1; }

stage "clang-tidy over src/"
scripts/tidy.sh "$build_dir" | tee "$figures/tidy.txt"
stage "done"
