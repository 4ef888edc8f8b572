#!/usr/bin/env bash
# Saves a PNG of each of the Win32 window's nine pages into BUILD_DIR/screenshots/, drawn by the
# real window under wine on a virtual X display with a window manager, and pictures of the
# comparison dialog, a message box naming a long path and a question with "Ano" and "Ne", title
# bars included. Builds nothing: build the target vorlend-screens first
# (scripts/build-windows.sh build-windows --target vorlend-screens).
#   scripts/screenshots-windows.sh [BUILD_DIR]      (default: build-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build-windows}
driver="$build_dir/bin/vorlend-screens.exe"
out_dir="$PWD/$build_dir/screenshots"

if [[ ! -f "$driver" ]]; then
  echo "screenshots-windows.sh: $driver is missing; build the target vorlend-screens first" >&2
  exit 1
fi
for tool in xvfb-run wine; do
  command -v "$tool" >/dev/null || { echo "screenshots-windows.sh: $tool is missing" >&2; exit 1; }
done
wm=""
if command -v openbox >/dev/null; then
  wm=openbox
else
  echo "screenshots-windows.sh: openbox is missing; the boxes are shown without a window manager" >&2
fi

mkdir -p "$out_dir"
rm -f "$out_dir"/*.png
. scripts/wine-env.sh "$build_dir"
# wine's server and services start on the virtual display, with their output in a file.
WM="$wm" xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  . scripts/wine-env.sh "$0"
  start_wine
  if [[ -n $WM ]]; then "$WM" --sm-disable >/dev/null 2>&1 & sleep 1; fi
  wine "$1" "Z:$2" 2>"$0/screenshots-wine.log"
  status=$?
  [[ -n $WM ]] && kill %1 2>/dev/null
  exit $status' "$build_dir" "$driver" "$out_dir"
echo "screenshots in $out_dir"
