#!/usr/bin/env bash
# Takes the documentation's screenshots (docs/screenshots/*.png) of the window in its Blend,
# Fade and Overlay states, of one "Application Error" box and of the mesh editor, under Xvfb
# with a window manager.
# Usage: scripts/screenshots.sh [build folder] [scale factor]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
scale=${2:-1}
out=${VANTORELL_SCREENSHOT_DIR:-$root/docs/screenshots}
mkdir -p "$out"
cmake --build "$build" --target test_gui
xvfb-run -a -s "-screen 0 1600x1200x24" bash -c '
  openbox >/dev/null 2>&1 &
  sleep 1
  VANTORELL_SCREENSHOT_DIR="$1" QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR="$3" \
    "$2/tests/test_gui" --gtest_filter="Screenshots.*:MeshEditor.*"
' _ "$out" "$build" "$scale"
ls -l "$out"
