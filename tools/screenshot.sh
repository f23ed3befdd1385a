#!/usr/bin/env bash
# The main window after a program-and-verify run of a 27C256 on the simulated
# programmer, as a PNG, taken under a virtual X server (xvfb-run, xcb).
#   tools/screenshot.sh [output.png]   default: docs/screenshots/main-window.png
# BUILD_DIR chooses the build folder (default: build); it is configured and
# built when needed.
set -euo pipefail
cd "$(dirname "$0")/.."
TOP=$(pwd)
BUILD_DIR=${BUILD_DIR:-build}
OUT=${1:-docs/screenshots/main-window.png}
case "$OUT" in /*) ;; *) OUT="$TOP/$OUT" ;; esac

if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S "$TOP" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$BUILD_DIR" --target test_shell device_library

mkdir -p "$(dirname "$OUT")"
rm -f "$OUT"
# The flow test selects the part from the library beside it, loads an Intel
# hex file, programs and verifies, and grabs the window when VEXLOR_SCREENSHOT
# names a file.
(cd "$BUILD_DIR/bin" &&
  QT_QPA_PLATFORM=xcb VEXLOR_SCREENSHOT="$OUT" \
    xvfb-run -a -s "-screen 0 1280x1024x24" \
    ./test_shell --gtest_filter='ProgramFlowTest.*ProgramAndVerify*')
if [ ! -s "$OUT" ]; then
  echo "screenshot.sh: no picture was written" >&2
  exit 1
fi
echo "$OUT"
