#!/usr/bin/env bash
# Runs clang-tidy with the project's .clang-tidy over every source file of src/ and fails when it
# reports anything. Needs a configured build directory (its compile_commands.json).
#   scripts/tidy.sh [BUILD_DIR]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
tidy=$(command -v clang-tidy-14 || command -v clang-tidy || true)
if [[ -z $tidy ]]; then
  echo "tidy.sh: clang-tidy is missing (Debian package clang-tidy-14)" >&2
  exit 1
fi
if [[ ! -f $build_dir/compile_commands.json ]]; then
  echo "tidy.sh: $build_dir/compile_commands.json is missing; configure the build first" >&2
  exit 1
fi
started=$(date +%s)
report=$(mktemp)
trap 'rm -f "$report"' EXIT
# The Windows side (*_win.cpp, the Win32 window in src/win32) has no compile command in a Linux build.
find src -name '*.cpp' ! -name '*_win.cpp' ! -path 'src/win32/*' -print0 | sort -z |
  xargs -0 -P"$(nproc)" -n4 "$tidy" -p "$build_dir" --quiet --extra-arg=-Wno-unknown-warning-option 2>/dev/null \
    >"$report" || true
# A finding in a header is reported once for every file that includes it.
findings=$({ grep "warning:\|error:" "$report" || true; } | sort -u | wc -l)
if [[ $findings -ne 0 ]]; then
  grep "warning:\|error:" "$report" | sort -u >&2
  echo "tidy.sh: $findings findings in src/" >&2
  exit 1
fi
echo "tidy.sh: src/ is clean ($(find src -name '*.cpp' ! -name '*_win.cpp' | wc -l) files, $(( $(date +%s) - started )) s)"
