#!/usr/bin/env bash
# Configures and builds into BUILD_DIR (default: build): everything, or only the targets named.
#   scripts/build.sh [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=()
[[ $# -gt 0 ]] && targets=(--target "$@")
cmake --build "$build_dir" -j"$(nproc)" "${targets[@]}"
