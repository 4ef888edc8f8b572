#!/usr/bin/env bash
# Installs what is needed, builds, runs every test, and then the proofs (scripts/proofs.sh): the
# whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer, bounded fuzzing, the kill
# test, a bounded concurrency campaign and clang-tidy. This is what CI runs (about 30 minutes on 2
# cores from a fresh machine). `scripts/test.sh --quick` stops after the first run of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
quick=0
case "${1:-}" in
  --quick) quick=1 ;;
  "") ;;
  *) echo "usage: scripts/test.sh [--quick]" >&2; exit 2 ;;
esac
started=$(date +%s)
scripts/install-deps.sh
scripts/format.sh --check
scripts/build.sh
build_dir=${BUILD_DIR:-build}
mkdir -p "$build_dir/figures"
# The window's tests run on Qt's offscreen platform; no display is needed.
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build_dir" --output-on-failure -j2 --timeout 600 \
  | tee "$build_dir/figures/tests.txt" | grep -vE '^ +(Start|[0-9]+/[0-9]+ Test) ' || true
grep -q "100% tests passed" "$build_dir/figures/tests.txt" || { echo "test.sh: the test suite failed" >&2; exit 1; }
# The power-cut test prints how many cuts it made; ctest keeps a passing test's output in its log.
grep -h "^power cuts:" "$build_dir/Testing/Temporary/LastTest.log" > "$build_dir/figures/power-cuts.txt" || true
cat "$build_dir/figures/power-cuts.txt"
# The window tests that need a real X display with a window manager (skipped above) run on a
# virtual one: real keys, real clicks of the pointer, the titles the manager shows.
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir "$build_dir" -R '^ui\.display\.' --output-on-failure \
  | tee "$build_dir/figures/display-tests.txt" | grep -vE '^ +Start ' || true
grep -q "100% tests passed" "$build_dir/figures/display-tests.txt" && ! grep -q "Skipped" "$build_dir/figures/display-tests.txt" \
  || { echo "test.sh: the window tests on the virtual display failed or did not run" >&2; exit 1; }
# The Windows build of the core, the tools and the core's test programs, cross-compiled and run
# under wine: the test programs, then the round trip with the archive it saves compared with the
# Linux build's (about 8 minutes from a fresh machine).
scripts/install-deps.sh --windows
scripts/test-windows.sh >"$build_dir/figures/windows.txt" 2>&1 \
  || { tail -n 80 "$build_dir/figures/windows.txt" >&2; echo "test.sh: the Windows tests failed" >&2; exit 1; }
scripts/demo-windows.sh --compare >>"$build_dir/figures/windows.txt" 2>&1 \
  || { tail -n 30 "$build_dir/figures/windows.txt" >&2; echo "test.sh: the Windows round trip failed" >&2; exit 1; }
grep -E "^test-windows.sh:|^demo-windows.sh: the archive" "$build_dir/figures/windows.txt"
echo "test.sh: the test suite passed after $(( $(date +%s) - started )) s"
[[ $quick -eq 1 ]] && exit 0
scripts/proofs.sh
echo "test.sh: everything passed after $(( $(date +%s) - started )) s"
