#!/usr/bin/env bash
# Saves a PNG of each of the window's nine pages into BUILD_DIR/screenshots/, drawn by the real
# window on a virtual X display. Builds nothing: build the target vorlend-screens first.
#   scripts/screenshots.sh [BUILD_DIR]      (default: build)
set -euo pipefail

build_dir=${1:-build}
driver="$build_dir/bin/vorlend-screens"
out_dir="$build_dir/screenshots"

if [[ ! -x "$driver" ]]; then
  echo "screenshots.sh: $driver is missing; build the target vorlend-screens first" >&2
  exit 1
fi
if ! command -v xvfb-run >/dev/null; then
  echo "screenshots.sh: xvfb-run is missing (Debian packages xvfb and xauth)" >&2
  exit 1
fi

mkdir -p "$out_dir"
rm -f "$out_dir"/page*.png
# The real X platform, not the offscreen one the tests use.
env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1024x768x24" "$driver" "$out_dir"
echo "screenshots in $out_dir"
