#!/usr/bin/env bash
# Builds the Windows side (scripts/build-windows.sh: the core, the tools, the Win32 window and the
# test programs) and runs the test programs under wine through ctest, on an X display (a virtual
# one when none is set), with a kept wineserver; wine's output goes to files, never a pipe its
# services would hold open. Tests of what Windows has no
# equivalent of (FIFOs, symbolic links anyone may make, POSIX permissions, mounts, names that
# differ only in letter case) skip themselves there with the reason; every other test must pass.
#   scripts/test-windows.sh [BUILD_DIR]        (default: build-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build-windows}
# The window's tests draw on an X display, as wine draws every window there: without one, a
# virtual display of its own.
if [[ -z ${DISPLAY:-} ]]; then
  command -v xvfb-run >/dev/null || { echo "test-windows.sh: xvfb-run is missing (Debian package xvfb)" >&2; exit 1; }
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$PWD/scripts/test-windows.sh" "$@"
fi
started=$(date +%s)
mkdir -p "$build_dir"
scripts/build-windows.sh "$build_dir" >"$build_dir/test-build.log" 2>&1 ||
  { tail -n 40 "$build_dir/test-build.log" >&2; echo "test-windows.sh: the Windows build failed" >&2; exit 1; }
. scripts/wine-env.sh "$build_dir"
start_wine
report=$build_dir/windows-tests.txt
ctest --test-dir "$build_dir" -j2 --timeout 300 --output-on-failure >"$report" 2>&1 </dev/null || true
grep -E "tests passed|Skipped" "$report" | sed -e 's/^ *[0-9]*\/[0-9]* //' >&2 || true
if ! grep -q "100% tests passed" "$report"; then
  # Each failed test's own output (ctest writes it after the test's result line), then the list.
  awk '/\*\*\*Failed|\*\*\*Exception|\*\*\*Timeout/ {show = 1} /^ *Start +[0-9]+:/ {show = 0} show' "$report" |
    tail -n 60 >&2
  sed -n '/The following tests FAILED/,$p' "$report" >&2
  echo "test-windows.sh: tests failed under wine (whole report: $report)" >&2
  exit 1
fi
echo "test-windows.sh: the Windows tests passed under wine in $(( $(date +%s) - started )) s"
