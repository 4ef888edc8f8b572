#!/usr/bin/env bash
# Saves a PNG of each of the window's nine pages into BUILD_DIR/screenshots/, drawn by the real
# window on a virtual X display, and pictures of an error box naming a long path (the box with its
# title bar, and the whole screen). Builds nothing: build the target vorlend-screens first.
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
rm -f "$out_dir"/page*.png "$out_dir"/messagebox*.png "$out_dir"/comparison*.png
# The real X platform, not the offscreen one the tests use. With openbox installed the display has
# a window manager, so the message box's picture shows its title bar as users see it.
wm=""
if command -v openbox >/dev/null; then
  wm=openbox
else
  echo "screenshots.sh: openbox is missing; the message box is shown without a window manager" >&2
fi
env -u QT_QPA_PLATFORM WM="$wm" xvfb-run -a -s "-screen 0 1024x768x24" \
  bash -c 'if [[ -n $WM ]]; then "$WM" >/dev/null 2>&1 & sleep 1; fi; "$0" "$1"; status=$?; kill %1 2>/dev/null; exit $status' \
  "$driver" "$out_dir"
echo "screenshots in $out_dir"
