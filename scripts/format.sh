#!/usr/bin/env bash
# Lays out every C and C++ file of the project by .clang-format, or with --check fails and names
# the files whose layout differs (CI runs the check before it builds).
#   scripts/format.sh [--check]
set -euo pipefail
cd "$(dirname "$0")/.."
format=$(command -v clang-format-14 || command -v clang-format || true)
if [[ -z $format ]]; then
  echo "format.sh: clang-format is missing (Debian package clang-format-14)" >&2
  exit 1
fi
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
case "${1:-}" in
  --check)
    if ! "$format" --dry-run --Werror "${files[@]}" 2>/dev/null; then
      "$format" --dry-run "${files[@]}" 2>&1 | grep -o '^[^:]*:[0-9]*' | sort -u | head -20 >&2 || true
      echo "format.sh: the files above differ from .clang-format; scripts/format.sh lays them out" >&2
      exit 1
    fi
    echo "format.sh: ${#files[@]} files follow .clang-format" ;;
  "") "$format" -i "${files[@]}" ;;
  *) echo "usage: scripts/format.sh [--check]" >&2; exit 2 ;;
esac
