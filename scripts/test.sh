#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test. This is what CI runs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
build_dir=${BUILD_DIR:-build}
# The window's tests run on Qt's offscreen platform; no display is needed.
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build_dir" --output-on-failure -j2 --timeout 600
